# Cross build for 32-bit x86 (Debian: g++-i686-linux-gnu, the i386 port); the tests run under
# qemu-i386. Its libcrypto is the multiarch package libssl-dev:i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(notediag_triplet i686-linux-gnu)
set(notediag_multiarch i386-linux-gnu)
set(notediag_qemu qemu-i386)
set(notediag_libraries /)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
