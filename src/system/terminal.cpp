#include "terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace Terminal {

bool isTerminal(Stream stream)
{
    return ::isatty(stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

int width()
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void endLineOnStandardError()
{
    (void)!::write(STDERR_FILENO, "\n", 1);
}

} // namespace Terminal
