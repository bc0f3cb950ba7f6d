#!/usr/bin/env python3
"""Writes the manual page and the bash completion of tarvok2-cli from its own help.

usage: packaging/make-cli-docs.py PATH/TO/tarvok2-cli

The commands come from `tarvok2-cli --help`, each command's usage, text and options from
`tarvok2-cli COMMAND --help`, so that the page and the completion list exactly what the
program accepts. Run it after a command or an option changed and commit both files;
tests/cli/cli_docs_test.cpp fails while one of them misses a command or an option.
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MAN_PAGE = os.path.join(HERE, "man", "tarvok2-cli.1")
COMPLETION = os.path.join(HERE, "completion", "tarvok2-cli")

OPTION_LINE = re.compile(r"^  (-\S+?)(?:, (--\S+))?(?: (\S+))?(?:\s{2,}(.*))?$")


def run_help(exe, args):
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    out = subprocess.run([exe, *args, "--help"], check=True, capture_output=True, text=True,
                         env=env)
    return out.stdout


def sections(text):
    """The usage lines, the paragraphs and the option rows of one help text."""
    usage, paragraphs, options = [], [], []
    part = "usage"
    para = []
    for line in text.splitlines():
        if part == "usage":
            if line.startswith("usage: ") or (usage and line.startswith("       ")):
                usage.append(line.split(": ", 1)[1] if line.startswith("usage: ")
                             else line.strip())
                continue
            part = "text"
        if part == "text":
            if line in ("Options:", "Commands:"):
                if para:
                    paragraphs.append(" ".join(para))
                para = []
                part = "options" if line == "Options:" else "commands"
            elif not line.strip():
                if para:
                    paragraphs.append(" ".join(para))
                para = []
            else:
                para.append(line.strip())
            continue
        if part == "commands":
            if line == "Options:":
                if para:
                    paragraphs.append(" ".join(para))
                para = []
                part = "options"
            elif line.startswith("  ") or not line.strip():
                if para:
                    paragraphs.append(" ".join(para))
                para = []
            else:
                para.append(line.strip())
            continue
        if part == "options":
            m = OPTION_LINE.match(line)
            if m:
                names = [m.group(1)] + ([m.group(2)] if m.group(2) else [])
                options.append([names, m.group(3) or "", m.group(4) or ""])
            elif line.strip() and options:
                options[-1][2] = (options[-1][2] + " " + line.strip()).strip()
    if para:
        paragraphs.append(" ".join(para))
    return usage, paragraphs, options


def command_names(text):
    names = []
    inside = False
    for line in text.splitlines():
        if line == "Commands:":
            inside = True
        elif inside and not line.strip():
            break
        elif inside:
            m = re.match(r"^  ([a-z][a-z-]*)\b", line)
            if m and m.group(1) not in names:
                names.append(m.group(1))
    return names


def esc(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return ("\\&" + text) if text.startswith((".", "'")) else text


def option_item(names, value, help_text):
    head = ", ".join("\\fB" + esc(n) + "\\fR" for n in names)
    if value:
        head += " \\fI" + esc(value) + "\\fR"
    return [".TP", head, esc(help_text)]


def man_page(exe, main_help, commands):
    version = subprocess.run(["sed", "-n", r"s/^project(tarvok2 VERSION \([0-9.]*\).*/\1/p",
                              os.path.join(HERE, "..", "CMakeLists.txt")],
                             capture_output=True, text=True).stdout.strip()
    _, main_paras, main_options = sections(main_help)
    out = [
        '.\\" Made by packaging/make-cli-docs.py from the help of tarvok2-cli; do not edit.',
        '.TH TARVOK2\\-CLI 1 "" "tarvok2 %s" "User Commands"' % version,
        ".SH NAME",
        "tarvok2\\-cli \\- record, edit and mix down tarvok2 projects from the command line",
        ".SH SYNOPSIS",
        ".B tarvok2\\-cli",
        "[\\fB\\-\\-data\\-folder\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]",
        ".br",
        ".B tarvok2\\-cli help",
        "[\\fICOMMAND\\fR]",
        ".SH DESCRIPTION",
        "\\fBtarvok2\\-cli\\fR is the headless front end of the tarvok2 multi\\-track audio "
        "recorder and editor. Each command opens a project, a sound file, a CD drive or the "
        "settings, does one job and ends.",
    ]
    for para in main_paras:
        out += [".PP", esc(para)]
    out += [
        ".PP",
        "Every command answers \\fB\\-h\\fR and \\fB\\-\\-help\\fR with its usage and "
        "options. Value options take \\fB\\-\\-name\\fR \\fIVALUE\\fR or "
        "\\fB\\-\\-name=\\fR\\fIVALUE\\fR; \\fB\\-\\-\\fR ends the options.",
        ".SH OPTIONS",
    ]
    for names, value, text in main_options:
        out += option_item(names, value, text)
    out.append(".SH COMMANDS")
    for name, (usage, paras, options) in commands:
        out += [".SS " + esc(name), ".nf"]
        out += ["\\fBtarvok2\\-cli\\fR " + esc(u.split(" ", 1)[1] if " " in u else "")
                for u in usage]
        out.append(".fi")
        for para in paras:
            out += [".PP", esc(para)]
        for names, value, text in options:
            out += option_item(names, value, text)
    out += [
        ".SH EXIT STATUS",
        ".TP", "0", "The command succeeded.",
        ".TP", "1", "The command failed; the reason is on standard error.",
        ".TP", "2", "A usage error: an unknown command or option, a missing argument.",
        ".TP", "3",
        "A project whose open dropped blocks (a working file is missing) is not saved "
        "without \\fB\\-\\-force\\fR.",
        ".SH ENVIRONMENT",
        ".TP", ".B XDG_CONFIG_HOME",
        "The settings are in \\fI$XDG_CONFIG_HOME/lumora/tarvok2.ini\\fR (shared ones in "
        "\\fIcommon.ini\\fR beside it).",
        ".TP", ".B XDG_DATA_HOME",
        "The data folder defaults to \\fI$XDG_DATA_HOME/lumora/tarvok2/data/\\fR.",
        ".TP", ".B TARVOK2_MODULE_DIR",
        "The folder of the adapter modules (\\fItarvok2\\-ffmpeg.so\\fR, ...), instead of "
        "\\fI../lib/tarvok2\\fR beside the program.",
        ".SH FILES",
        ".TP", ".I /usr/lib/tarvok2/",
        "The adapter modules, loaded when a command first needs FFmpeg, PortAudio, libcdio, "
        "libcurl, libebur128 or Rubber Band. A missing library disables only its feature.",
        ".SH SEE ALSO",
        ".BR tarvok2 (1)",
    ]
    return "\n".join(out) + "\n"


def completion(main_options, commands):
    words = " ".join(name for name, _ in commands) + " help"
    cases = []
    for name, (usage, _, options) in commands:
        opts = " ".join(n for names, _, _ in options for n in names)
        subs = ""
        if name in ("cd", "settings"):
            subs = " ".join(sorted({u.split()[2] for u in usage if len(u.split()) > 2}))
        cases.append('        %s) opts="%s" subs="%s" ;;' % (name, opts, subs))
    values = sorted({n for _, (_, _, options) in commands
                     for names, value, _ in options if value for n in names})
    global_opts = " ".join(n for names, _, _ in main_options for n in names)
    return """# bash completion of tarvok2-cli: commands, their sub-commands and options.
# Made by packaging/make-cli-docs.py from the help of tarvok2-cli; do not edit.
_tarvok2_cli()
{
    local cur prev cmd i opts subs
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    cmd=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --data-folder) ((i++)) ;;
        -*) ;;
        *) cmd=${COMP_WORDS[i]}; break ;;
        esac
    done
    case $prev in
    --data-folder)
        COMPREPLY=($(compgen -d -- "$cur"))
        return ;;
    -o|--curve)
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    %s)
        return ;;
    esac
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "%s %s" -- "$cur"))
        return
    fi
    opts="" subs=""
    case $cmd in
%s
        help) subs="%s" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    elif [[ -n $subs && $prev == "$cmd" ]]; then
        COMPREPLY=($(compgen -W "$subs" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -F _tarvok2_cli -o filenames tarvok2-cli
""" % ("|".join(v for v in values if v not in ("-o", "--curve")), words, global_opts, "\n".join(cases), " ".join(n for n, _ in commands))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[2])
    exe = sys.argv[1]
    main_help = run_help(exe, [])
    commands = [(name, sections(run_help(exe, [name]))) for name in command_names(main_help)]
    with open(MAN_PAGE, "w", encoding="utf-8") as f:
        f.write(man_page(exe, main_help, commands))
    with open(COMPLETION, "w", encoding="utf-8") as f:
        f.write(completion(sections(main_help)[2], commands))


if __name__ == "__main__":
    main()
