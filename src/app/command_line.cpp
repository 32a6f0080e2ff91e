#include "app/command_line.h"

#include <getopt.h>

#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "document/reasons.h"
#include "platform/escape.h"
#include "platform/terminal.h"

namespace {

// Long options without a short form take codes past every character.
enum LongOnly : int {
    opt_version = 256,
    opt_json,
    opt_info,
    opt_scan,
    opt_brief,
    opt_force,
    opt_variants,
    opt_escape,
    opt_offset,
    opt_length,
    opt_dump_limit,
    opt_extract,
    opt_output,
    opt_password_file,
    opt_password_fd,
};

constexpr option long_options[] = {
    {"check", no_argument, nullptr, 'c'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, opt_version},
    {"json", no_argument, nullptr, opt_json},
    {"brief", no_argument, nullptr, opt_brief},
    {"dump-limit", required_argument, nullptr, opt_dump_limit},
    {"escape", required_argument, nullptr, opt_escape},
    {"offset", required_argument, nullptr, opt_offset},
    {"length", required_argument, nullptr, opt_length},
    {"extract", required_argument, nullptr, opt_extract},
    {"output", required_argument, nullptr, opt_output},
    {"force", no_argument, nullptr, opt_force},
    {"info", no_argument, nullptr, opt_info},
    {"scan", no_argument, nullptr, opt_scan},
    {"test", no_argument, nullptr, 't'},
    {"recursive", no_argument, nullptr, 'r'},
    {"jobs", required_argument, nullptr, 'j'},
    {"wordlist", required_argument, nullptr, 'w'},
    {"variants", no_argument, nullptr, opt_variants},
    {"password-file", required_argument, nullptr, opt_password_file},
    {"password-fd", required_argument, nullptr, opt_password_fd},
    {nullptr, 0, nullptr, 0},
};
// A leading ':' makes a missing argument come back as ':' on every C library.
constexpr char short_options[] = ":cqhtrj:w:";

std::string quoted(std::string_view text) {
    std::string shown = "'";
    shown += platform::shown_in_message(text);
    shown += '\'';
    return shown;
}

// The words for an option getopt_long refused. `element` is the argument it was working on when
// that was a long option ("--name" or "--name=value"), else empty; `letter` is getopt's optopt.
std::string refusal(std::string_view element, int letter, bool missing_argument) {
    if (element.substr(0, 2) == "--" &&
        (letter == 0 || letter >= 256 || std::strchr("cqhtrjw", letter) != nullptr)) {
        const std::string_view name = element.substr(2, element.find('=') - 2);
        std::vector<const option*> matches;
        for (const option& o : long_options) {
            if (o.name != nullptr && std::string_view(o.name).substr(0, name.size()) == name) {
                if (o.name == name) {
                    matches = {&o};
                    break;
                }
                matches.push_back(&o);
            }
        }
        if (matches.empty()) {
            return "unrecognized option " + quoted(element);
        }
        if (matches.size() > 1) {
            std::string text = "option " + quoted(element) + " is ambiguous; possibilities:";
            for (const option* o : matches) {
                text += std::string(" '--") + o->name + "'";
            }
            return text;
        }
        // Told by the option itself: C libraries disagree on the code they return for it.
        const std::string full = std::string("--") + matches.front()->name;
        return matches.front()->has_arg == no_argument &&
                       element.find('=') != std::string_view::npos
                   ? "option '" + full + "' doesn't allow an argument"
                   : "option '" + full + "' requires an argument";
    }
    const std::string shown = platform::shown_in_message(std::string(1, static_cast<char>(letter)));
    return missing_argument ? "option requires an argument -- '" + shown + "'"
                            : "invalid option -- '" + shown + "'";
}

// A non-negative decimal (or 0x hexadecimal) number up to `most`.
template <typename Number>
std::optional<Number> number(std::string_view text, Number most) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        value > static_cast<std::uint64_t>(most)) {
        return std::nullopt;
    }
    return static_cast<Number>(value);
}

struct Parser {
    CommandLine line;

    bool fail(std::string error) {
        line.action = CommandLine::Action::usage_error;
        line.error = std::move(error);
        return false;
    }

    bool mode(CommandLine::Mode mode) {
        if (line.mode != CommandLine::Mode::transcript && line.mode != mode) {
            return fail("--info, --scan, --test and --wordlist cannot be combined");
        }
        line.mode = mode;
        return true;
    }

    template <typename Number>
    bool numeric(const char* option, const char* argument, Number most, std::optional<Number>& to) {
        to = number<Number>(argument, most);
        return to ? true : fail("invalid argument " + quoted(argument) + " for '" + option + "'");
    }

    bool escape(std::string_view when) {
        using E = CommandLine::Escape;
        constexpr std::pair<const char*, E> words[] = {
            {"auto", E::automatic}, {"tty", E::automatic}, {"if-tty", E::automatic},
            {"always", E::always},  {"yes", E::always},    {"force", E::always},
            {"never", E::never},    {"no", E::never},      {"none", E::never},
        };
        for (const auto& [word, value] : words) {
            if (when == word) {
                line.escape = value;
                return true;
            }
        }
        return fail("invalid argument " + quoted(when) +
                    " for '--escape'; valid arguments are 'auto', 'always' and 'never'");
    }

    // Applies one option; false once the parsing is over (help, version, or an error).
    bool apply(int code, const char* argument) {
        switch (code) {
            case 'c':
                line.check = true;
                return true;
            case 'q':
                line.quiet = true;
                return true;
            case 'h':
                line.action = CommandLine::Action::help;
                return false;
            case opt_version:
                line.action = CommandLine::Action::version;
                return false;
            case opt_json:
                line.json = true;
                return true;
            case opt_brief:
                line.brief = true;
                return true;
            case opt_force:
                line.force = true;
                return true;
            case 'r':
                line.recursive = true;
                return true;
            case opt_variants:
                line.variants = true;
                return true;
            case opt_escape:
                return escape(argument);
            case opt_offset:
                return numeric("--offset", argument, std::uint32_t{0x7FFFFFFF}, line.offset);
            case opt_length:
                return numeric("--length", argument, std::uint32_t{0x7FFFFFFF}, line.length);
            case opt_dump_limit:
                return numeric("--dump-limit", argument, std::uint32_t{0xFFFFFFFF},
                               line.dump_limit);
            case 'j': {
                std::optional<unsigned> jobs;
                if (!numeric("--jobs", argument, 1024u, jobs)) {
                    return false;
                }
                if (*jobs == 0) {
                    return fail("invalid argument " + quoted(argument) + " for '--jobs'");
                }
                line.jobs = *jobs;
                return true;
            }
            case opt_password_fd: {
                std::optional<int> fd;
                if (!numeric("--password-fd", argument, 0x7FFFFFFF, fd)) {
                    return false;
                }
                line.password_fd = *fd;
                return true;
            }
            case opt_extract:
                line.extract = argument;
                return true;
            case opt_output:
                line.output = argument;
                return true;
            case opt_password_file:
                line.password_file = argument;
                return true;
            case opt_info:
                return mode(CommandLine::Mode::info);
            case opt_scan:
                return mode(CommandLine::Mode::scan);
            case 't':
                return mode(CommandLine::Mode::test);
            case 'w':
                line.wordlist = argument;
                return mode(CommandLine::Mode::wordlist);
            default:
                return fail("unexpected option");
        }
    }

    // What the operands are for, once every option is known.
    void operands(char** first, char** last) {
        using Mode = CommandLine::Mode;
        using Source = CommandLine::PasswordSource;
        const auto count = last - first;
        const bool transcript = line.mode == Mode::transcript;
        const long most = line.mode == Mode::test ? count : transcript ? 2 : 1;
        if (count < 1) {
            fail("");
            return;
        }
        if (count > most) {
            fail("too many arguments");
            return;
        }
        line.path = first[0];
        line.notes.assign(first, line.mode == Mode::test ? last : first + 1);
        for (const char* note : line.notes) {
            line.note_on_standard_input |= std::string_view(note) == "-";
        }
        if (transcript && count == 2) {
            line.password = first[1];
        }
        // Options that belong to some modes only.
        if ((line.brief || line.dump_limit || line.output != nullptr || line.force) &&
            !transcript) {
            fail("--brief, --dump-limit, --output and --force belong to the transcript alone");
            return;
        }
        if ((line.offset || line.length) && !transcript && line.mode != Mode::info &&
            line.mode != Mode::wordlist) {
            fail("--offset and --length belong to the transcript, --info and --wordlist");
            return;
        }
        if (line.extract != nullptr && !transcript && line.mode != Mode::info) {
            fail("--extract belongs to the transcript and --info");
            return;
        }
        if ((line.recursive && line.mode != Mode::test) ||
            (line.variants && line.mode != Mode::wordlist) ||
            (line.jobs != 0 && line.mode != Mode::test && line.mode != Mode::wordlist)) {
            fail("--recursive belongs to --test, --variants to --wordlist, --jobs to both");
            return;
        }
        const bool needs_password = transcript || line.mode == Mode::test;
        if (line.mode == Mode::wordlist && line.note_on_standard_input &&
            std::string_view(line.wordlist) == "-") {
            fail("standard input cannot carry both the list and the note");
            return;
        }
        const int given =
            (line.password != nullptr) + (line.password_file != nullptr) + (line.password_fd >= 0);
        if (given > 1) {
            fail("the password is given more than once");
            return;
        }
        if (!needs_password) {
            if (given != 0) {
                fail("--info, --scan and --wordlist take no password");
            }
            return;
        }
        if (line.password != nullptr) {
            line.password_source = Source::argument;
        } else if (line.password_file != nullptr) {
            line.password_source = Source::file;
        } else if (line.password_fd >= 0) {
            line.password_source = Source::descriptor;
        } else if (line.note_on_standard_input ||
                   platform::is_terminal(platform::StandardStream::input)) {
            line.password_source = Source::terminal;
        } else {
            line.password_source = Source::standard_input;
        }
    }
};

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
    Parser parser;
    // getopt_long keeps its place in globals: every parse starts afresh (tests parse many times).
    optind = 0;
    opterr = 0;
    for (;;) {
        const int code = getopt_long(argc, argv, short_options, long_options, nullptr);
        if (code == -1) {
            break;
        }
        if (code == '?' || code == ':') {
            const std::string_view element = optind > 0 && optind <= argc ? argv[optind - 1] : "";
            parser.fail(refusal(element, optopt, code == ':'));
            return parser.line;
        }
        if (!parser.apply(code, optarg)) {
            return parser.line;
        }
    }
    parser.operands(argv + optind, argv + argc);
    return parser.line;
}

std::string help_text() {
    std::string text = R"(usage: notediag [OPTION]... PATH [PASSWORD]
  or:  notediag --info [OPTION]... PATH
  or:  notediag --scan [OPTION]... PATH
  or:  notediag --test [OPTION]... FILE...
  or:  notediag --wordlist=LIST [OPTION]... NOTE

Finds the encrypted note in PATH (the whole file, or a document carried in
front of an 8-byte trailer at its end), decrypts it with the password and
prints every stage as hex dumps on standard output, then the decrypted text or
"error loading :(". A verdict on standard error then says what was found.

PATH "-" is standard input. Standard input, a pipe, a FIFO or a socket (such as
<(unzip -p notes.zip note)) is read whole first, up to 2 GiB; opening a FIFO
waits for its writer. A device such as /dev/zero is refused, and so is a note
wanted from a terminal.

Options may come anywhere; "--" ends them, and every argument after it is an
operand (a password that starts with "-" goes there). Long options may be
abbreviated to any unique prefix; short options combine ("-cq").
  -c, --check          make the exit status the answer: 0 only when the check
                       hash matches (see Exit status)
  -q, --quiet          write no verdict (nor hints, nor a summary)
      --json           write one JSON report on standard output instead of the
                       transcript (no password, no text, nothing decrypted)
      --brief          leave out the six hex dumps; a large note is then read
                       in pieces, in bounded memory
      --dump-limit=N   show at most N lines of each dump: the first and last
                       N/2, and one line that says how many were left out
      --escape=WHEN    show control bytes of the text and the password as \xHH:
                       'auto' (when standard output is a terminal), 'always'
                       or 'never'
      --offset=N       read the document at byte N of the input, bypassing
                       the trailer
      --length=N       the document read there is N bytes long
      --extract=FILE   write the located document's bytes to FILE (a new file)
      --output=FILE    write the decrypted text, whole, to FILE (a new file,
                       owner only), once the check hash matches
      --force          write --output's text even when the hash differs
      --password-file=FILE  the password is the first line of FILE (a pipe
                       such as <(pass show note) too)
      --password-fd=N  the password is the first line read from descriptor N
  -h, --help           show this text and exit
      --version        show the version and exit

Other modes:
      --info           show where the document lies and each part of it,
                       with offsets and sizes; needs no password
      --scan           list every note signature in the input, at any offset
  -t, --test           check every FILE with one password: one line per note
                       and a summary
  -r, --recursive      with --test, descend into directories
  -j, --jobs=N         notes at once (--test), threads (--wordlist); one per
                       processor by default
  -w, --wordlist=LIST  find which line of LIST (a file, "-" for standard
                       input) is NOTE's password
      --variants       with --wordlist, also try each line's encodings and
                       spellings

The password, in one of these ways:
  notediag PATH              asked on the terminal ("Password: ", echo off)
                             when standard input is a terminal, and for PATH "-"
  notediag PATH < FILE       the first line of standard input, when it is not a
  CMD | notediag PATH        terminal (without its LF or CR LF; at most 1 MiB;
                             an empty input is no password, an empty line is
                             the empty one)
  with --password-file=FILE  the first line of FILE
  with --password-fd=N       the first line read from descriptor N
  notediag PATH PASSWORD     the argument
The prompt, standard input and the files are the safer ways: an argument stays
in the shell's history, and other users of this machine can read it in the list
of processes until the tool has wiped it there, which it does at once. The tool
turns core dumps off before it takes the password, so a crash writes no file
holding the password or the text.

The password is echoed in the first line of standard output ("key <PASSWORD>").

A "whoops" line on standard output means the header is damaged and there is no
document:
  whoops, header cut off           the document ends inside its 76-byte header
  whoops, ciphertext runs past the end of the file (of the document, when it
                                   is carried in front of a trailer): the header
                                   claims more ciphertext than there is
  whoops, ciphertext length is not a multiple of 16
  whoops, plaintext length exceeds ciphertext length
"whoops, not header_v2_signature" alone is only a remark; the reading goes on.

The verdict's first line compares the check hash computed from the decrypted
text with the one stored in the document:
  check hash matches: the password is right and the document is intact
  check hash differs: the password is right; the document or its stored hash
                      is damaged
  check hash differs: a wrong password
  check hash differs: a wrong password or a damaged document
  no document: REASON
"The password is right" is said only when a wrong password shows what was seen
by a chance below 2^-40 (the padding and how many blocks decrypt to text), or
when the check hash matches another length; "a wrong password" only when no
block looks like text beyond chance. Lines that follow give the evidence
("evidence: ..."), the damaged blocks ("damage: ..."), and what makes the check
hash match ("hint: ...": a plaintext length, the password in another encoding
or spelling, a signature elsewhere in the input).

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
Exit status                without --check   with --check, and every other mode
  check hash matches              0               0
  check hash differs              0               3  (--wordlist: no line
                                                     matches)
  no document                     0               4
  failure                         1               1  (cannot open or read the
                                                     file or the password, no
                                                     terminal to ask on, out of
                                                     memory, a write error)
  usage error                     2               2  (also a password over
                                                     1 MiB or missing from
                                                     standard input)
--test answers for its worst note: 1 when one could not be read, else 4 when
one holds no document, else 3 when a check hash differs, else 0. --info and
--scan answer 0 for a sound structure (a consistent note), 4 otherwise.

Environment:
  NOTEDIAG_DEBUG   when set and not empty, developer traces of the secure
                   buffer go to standard error (on Windows they always go to
                   the debugger output instead)
  NOTEDIAG_CPU     "portable" withholds the processor's optional instructions
                   (AES-NI, SHA extensions, SSSE3, AVX2): every routine then
                   runs its portable code
)";
    return text;
}
