# fish completion for postproof: its options, a file after -n, a command
# after -p and header names after -k. After -- or the first argument that is
# no option, the words belong to the program: files.

# The shared test lives in msgproof's completion.
if not functions -q __textmend_program_started
    source (status dirname)/msgproof.fish
end

set -l tool 'not __textmend_program_started -k -n -p'
set -l headers Subject From To Cc Bcc Reply-To Newsgroups Followup-To Keywords Summary Organization
complete -c postproof -n $tool -s f -d 'The program is a filter'
complete -c postproof -n $tool -s h -d 'Hand over the whole header'
complete -c postproof -n $tool -s k -x -a "$headers" -d 'Hand over the header fields of this name'
complete -c postproof -n $tool -s n -r -F -d 'The message'
complete -c postproof -n $tool -s p -x -a '(__fish_complete_command)' -d 'The program to run'
complete -c postproof -n $tool -s q -d 'Leave quoted lines out'
complete -c postproof -n $tool -s s -d 'Leave the signature out'
complete -c postproof -n $tool -s v -d 'Print the version'
complete -c postproof -n $tool -l help -d 'Print the usage text'
complete -c postproof -n $tool -l version -d 'Print the version'
