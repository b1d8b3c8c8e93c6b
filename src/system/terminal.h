#ifndef TERMINAL_H
#define TERMINAL_H

// What the command line asks of the system about its standard streams. One of the seams of this
// folder: a port to another system supplies these.
namespace Terminal {

enum class Stream { Output, Error };

bool isTerminal(Stream stream);
// Columns of the terminal on stderr, or 80 when it does not say.
int width();
// Ends the line on stderr; safe in a signal handler.
void endLineOnStandardError();

} // namespace Terminal

#endif // TERMINAL_H
