# Cross build for 64-bit ARM (Debian: g++-aarch64-linux-gnu); the tests run under qemu-aarch64.
# Its libcrypto is the multiarch package libssl-dev:arm64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(notediag_triplet aarch64-linux-gnu)
set(notediag_multiarch aarch64-linux-gnu)
set(notediag_qemu qemu-aarch64)
set(notediag_libraries /)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
