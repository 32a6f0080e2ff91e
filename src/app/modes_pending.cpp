#include "app/messages.h"
#include "app/modes.h"

int run_wordlist(const CommandLine&) {
    messages::say("--wordlist is not built yet");
    return exit_failure;
}
