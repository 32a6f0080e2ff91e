# Bash completion for notediag. Options are recognised anywhere until "--" (GNU rules), so an
# option is offered wherever a word starts with "-" before "--"; every other word is a file name.
# The options that take a value offer theirs: file names, or the words --escape knows.

_notediag() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} i word
    local options='--check --quiet --json --brief --dump-limit= --escape= --offset= --length=
        --extract= --output= --force --password-file= --password-fd= --info --scan --test
        --recursive --jobs= --wordlist= --variants --help --version -c -q -t -r -j -w -h'
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -h | --help | --version) return 0 ;;  # acts at once: nothing follows
            --) break ;;
        esac
    done
    if ((i == COMP_CWORD)); then
        # "--option=value": one word, or three where readline breaks words at "=".
        local option="" value="" prefix=""
        if [[ $cur == --*=* ]]; then
            option=${cur%%=*} value=${cur#*=} prefix=$option=
        elif [[ $cur == = ]]; then
            option=$prev
        elif [[ $prev == = ]] && ((COMP_CWORD >= 2)); then
            option=${COMP_WORDS[COMP_CWORD - 2]} value=$cur
        elif [[ $prev == -w ]]; then
            option=--wordlist value=$cur
        elif [[ $prev == -j ]]; then
            return 0  # a number
        fi
        case $option in
            --escape)
                mapfile -t COMPREPLY < <(compgen -P "$prefix" -W 'auto always never' -- "$value")
                return 0
                ;;
            --extract | --output | --password-file | --wordlist)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -P "$prefix" -f -- "$value")
                return 0
                ;;
            --*) return 0 ;;  # a number
        esac
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
            [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace 2>/dev/null
            return 0
        fi
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _notediag notediag
