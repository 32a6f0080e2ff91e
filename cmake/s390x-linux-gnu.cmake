# Cross build for IBM Z, 64-bit big-endian (Debian: g++-s390x-linux-gnu); the tests run under
# qemu-s390x. Its libcrypto is unpacked into a tree of its own by .ci/install-ports.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(notediag_triplet s390x-linux-gnu)
set(notediag_multiarch s390x-linux-gnu)
set(notediag_qemu qemu-s390x)
set(notediag_libraries /opt/notediag-ports/s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
