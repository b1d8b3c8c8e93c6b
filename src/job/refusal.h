#ifndef REFUSAL_H
#define REFUSAL_H

#include <QString>

// Why a job gives no result. It is decided once, where the reason is found, and handed up as it
// is: what kind of reason it is (front ends add their own advice to some kinds), which input it
// is about (which decides the path a message names) and its words.
struct Refusal
{
    enum class Kind {
        None,
        Unreadable, // an input cannot be read, or is no ROM
        NoTableFound, // no build string leads to a table, and the ROM is no known dump
        FirstEntry, // the table does not start with the expected entry
        Table, // the table, or a file it lists, cannot be worked on
        Ranges, // the files named for compression do not fit the table
        Layout, // the compressed ROM as laid out cannot be written
        Result, // the compressed ROM would not decompress as it should
        Stopped, // asked to stop before the end
        OutputExists, // the output file exists and may not be replaced
        Output, // the output cannot be written
    };
    enum class Input { Rom, Original, Output };

    Kind kind = Kind::None;
    Input input = Input::Rom;
    QString text;

    bool refused() const { return kind != Kind::None; }

    static Refusal of(Kind kind, const QString &text, Input input = Input::Rom)
    {
        Refusal refusal;
        refusal.kind = kind;
        refusal.input = input;
        refusal.text = text;
        return refusal;
    }
};

#endif // REFUSAL_H
