# fish completion for msgproof: its options, a file after -n and a command
# after -p. After -- or the first argument that is no option, the words
# belong to the program: files.

# __textmend_program_started OPTIONS_WITH_ARGUMENT...: whether the command
# line so far has reached the program's own arguments.
function __textmend_program_started
    set -l words (commandline -opc)
    set -e words[1]
    while set -q words[1]
        switch $words[1]
            case --
                return 0
            case '-?*'
                if contains -- $words[1] $argv
                    set -e words[1]
                end
            case '*'
                return 0
        end
        set -e words[1]
    end
    return 1
end

set -l tool 'not __textmend_program_started -l -n -p'
complete -c msgproof -n $tool -s f -d 'The program is a filter'
complete -c msgproof -n $tool -s l -x -d 'Hand over only this language'
complete -c msgproof -n $tool -s n -r -F -d 'The PO file'
complete -c msgproof -n $tool -s p -x -a '(__fish_complete_command)' -d 'The program to run'
complete -c msgproof -n $tool -s s -d 'Strict: refuse lines not understood'
complete -c msgproof -n $tool -s v -d 'Print the version'
complete -c msgproof -n $tool -l help -d 'Print the usage text'
complete -c msgproof -n $tool -l version -d 'Print the version'
