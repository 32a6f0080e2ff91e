#include "app/command_line.h"

#include <string_view>
#include <utility>

#include "document/reasons.h"
#include "platform/terminal.h"

namespace {

// Applies one option argument (without its leading dashes for long options); false when it is
// not one of ours.
bool apply_long(std::string_view name, CommandLine& line) {
    if (name == "help") {
        line.action = CommandLine::Action::help;
    } else if (name == "version") {
        line.action = CommandLine::Action::version;
    } else if (name == "check") {
        line.check = true;
    } else if (name == "quiet") {
        line.quiet = true;
    } else {
        return false;
    }
    return true;
}

bool apply_short(char letter, CommandLine& line) {
    switch (letter) {
        case 'h':
            line.action = CommandLine::Action::help;
            return true;
        case 'c':
            line.check = true;
            return true;
        case 'q':
            line.quiet = true;
            return true;
        default:
            return false;
    }
}

bool apply(std::string_view argument, CommandLine& line) {
    if (argument.substr(0, 2) == "--") {
        return apply_long(argument.substr(2), line);
    }
    for (const char letter : argument.substr(1)) {
        if (!apply_short(letter, line)) {
            return false;
        }
        if (line.action != CommandLine::Action::run) {
            break;  // help acts at once, so "-hx" is help rather than an error
        }
    }
    return true;
}

// An empty `error` stands for the usage line.
CommandLine usage_error(std::string error) {
    CommandLine line;
    line.action = CommandLine::Action::usage_error;
    line.error = std::move(error);
    return line;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    int next = 1;
    for (; next < argc; ++next) {
        const std::string_view argument = argv[next];
        // "-" alone names a file, as it does for every tool.
        if (argument.size() < 2 || argument[0] != '-') {
            break;
        }
        if (argument == "--") {
            ++next;
            break;
        }
        if (!apply(argument, line)) {
            return usage_error("unrecognized option '" + platform::escape_control_bytes(argument) +
                               "'");
        }
        if (line.action != CommandLine::Action::run) {
            return line;
        }
    }
    const int operands = argc - next;
    if (operands < 1) {
        return usage_error("");
    }
    if (operands > 2) {
        return usage_error("too many arguments");
    }
    line.path = argv[next];
    line.note_on_standard_input = std::string_view(line.path) == "-";
    if (operands == 2) {
        line.password = argv[next + 1];
    } else if (line.note_on_standard_input ||
               platform::is_terminal(platform::StandardStream::input)) {
        line.password_source = CommandLine::PasswordSource::terminal;
    } else {
        line.password_source = CommandLine::PasswordSource::standard_input;
    }
    return line;
}

std::string help_text() {
    std::string text = R"(usage: notediag [OPTION]... PATH [PASSWORD]

Finds the encrypted note in PATH (the whole file, or a document carried in
front of an 8-byte trailer at its end), decrypts it with the password and
prints every stage as hex dumps on standard output, then the decrypted text or
"error loading :(". A verdict line on standard error then says what was found.

PATH "-" is standard input. Standard input, a pipe, a FIFO or a socket (such as
<(unzip -p notes.zip note)) is read whole first, up to 2 GiB; opening a FIFO
waits for its writer. A device such as /dev/zero is refused.

Options are recognised only before PATH, and "--" ends them: every argument from
PATH on is taken as it is, so a password may start with "-".
  -c, --check    make the exit status the answer: 0 only when the check hash
                 matches (see Exit status)
  -q, --quiet    write no verdict line
  -h, --help     show this text and exit
      --version  show the version and exit

The password, in one of three ways:
  notediag PATH              asked on the terminal ("Password: ", echo off)
                             when standard input is a terminal, and for PATH "-"
  notediag PATH < FILE       the first line of standard input, when it is not a
  CMD | notediag PATH        terminal (without its LF or CR LF; at most 1 MiB)
  notediag PATH PASSWORD     the argument
The prompt and standard input are the safer ways: an argument stays in the
shell's history, and other users of this machine can read it in the list of
processes until the tool has wiped it there, which it does at once. The tool
turns core dumps off before it takes the password, so a crash writes no file
holding the password or the text.

The password is echoed in the first line of standard output ("key <PASSWORD>").
When standard output is a terminal, control bytes in the password and in the
text are shown as \xHH.

A "whoops" line on standard output means the header is damaged and there is no
document:
  whoops, header cut off           the document ends inside its 76-byte header
  whoops, ciphertext runs past the end of the file (of the document, when it
                                   is carried in front of a trailer): the header
                                   claims more ciphertext than there is
  whoops, ciphertext length is not a multiple of 16
  whoops, plaintext length exceeds ciphertext length
"whoops, not header_v2_signature" alone is only a remark; the reading goes on.

The verdict compares the check hash computed from the decrypted text with the
one stored in the document, and looks at the padding (the decrypted bytes
behind the text):
  check hash matches               the password is right and the document intact
  check hash differs, but the padding decrypts correctly
                                   the password is right; the document or its
                                   stored hash is damaged
  check hash differs and the padding does not decrypt
                                   most likely a wrong password
  check hash differs               (no padding) a wrong password or a damaged
                                   document
  no document: REASON              nothing could be read, and why

The reasons, each with the code a script can rely on (each capital letter
stands for a number from the file, S for the 8 signature bytes in hex):
)";
    for (const NoDocumentReason& reason : no_document_reasons()) {
        text += "  ";
        text += reason.code;
        text += '\n';
        text += "      ";
        text += reason.wording;
        text += '\n';
    }
    text += R"(
Exit status                without --check   with --check
  check hash matches              0               0
  check hash differs              0               3
  no document                     0               4
  failure                         1               1  (cannot open or read the
                                                     file or the password, no
                                                     terminal to ask on, out of
                                                     memory, write error)
  usage error                     2               2  (also a password over
                                                     1 MiB)

Environment:
  NOTEDIAG_DEBUG   when set and not empty, developer traces of the secure
                   buffer go to standard error (on Windows they always go to
                   the debugger output instead)
)";
    return text;
}
