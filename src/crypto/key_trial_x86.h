// The key trial on the processor's SHA and AES instructions, beside the portable loop of
// key_trial.cpp. Internal to the module; compiled only where platform/cpu.h enables the x86 paths.
#pragma once

#include <cstddef>

#include "crypto/key_trial.h"
#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

namespace key_trial_internal {

// The same blocks as the portable loop, several candidates interleaved. Needs cpu_sha | cpu_aesni.
void key_trial_x86(const KeyTrialTarget& target, const KeyTrialCandidate* candidates,
                   std::size_t count, KeyTrialBlocks* out);

}  // namespace key_trial_internal

#endif
