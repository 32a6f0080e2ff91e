#include "app/messages.h"
#include "app/modes.h"

int run_info(const CommandLine&) {
    messages::say("--info is not built yet");
    return exit_failure;
}
int run_scan(const CommandLine&) {
    messages::say("--scan is not built yet");
    return exit_failure;
}
int run_test(const CommandLine&) {
    messages::say("--test is not built yet");
    return exit_failure;
}
int run_wordlist(const CommandLine&) {
    messages::say("--wordlist is not built yet");
    return exit_failure;
}
