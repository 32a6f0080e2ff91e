# Bash completion for notediag: options while they may still come, file names for PATH.
# Options are recognised only before PATH and "--" ends them, so once either has been typed every
# later word (PATH, then the password) is offered file names alone.

_notediag() {
    local cur=${COMP_WORDS[COMP_CWORD]} i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -h | --help | --version) return 0 ;;  # acts at once: nothing follows
            --) break ;;
            -?*) ;;                               # an option (short ones combine)
            *) break ;;                           # PATH, "-" included
        esac
    done
    if ((i == COMP_CWORD)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--check --quiet --help --version -c -q -h' -- "$cur")
        return 0
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _notediag notediag
