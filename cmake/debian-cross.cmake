# What the Debian cross toolchains share; each target's toolchain file sets these and includes it:
#   notediag_triplet    the GNU triplet of the cross compiler (Debian: g++-TRIPLET)
#   notediag_multiarch  Debian's multiarch directory name for the target's libraries
#   notediag_qemu       the qemu-user program that runs the target's code (Debian: qemu-user)
#   notediag_libraries  where the target's libcrypto lies: / for multiarch packages installed by
#                       dpkg, or a tree of unpacked packages (.ci/install-ports)
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${notediag_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${notediag_triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${notediag_multiarch})
string(REGEX REPLACE "/$" "" notediag_prefix "${notediag_libraries}")

# The cross compiler's own C library and runtime, then the target's libraries; never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${notediag_triplet} ${notediag_libraries})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise describe the host's libraries to the library searches.
set(ENV{PKG_CONFIG_LIBDIR} ${notediag_prefix}/usr/lib/${notediag_multiarch}/pkgconfig)

# The compiler searches /usr/include but not the multiarch directory beside it, where a library's
# target-specific headers lie (openssl/configuration.h); the tree's headers go before the host's.
# (The file is read more than once, so it sets rather than appends.)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${notediag_prefix}/usr/include/${notediag_multiarch})
if(notediag_prefix)
  list(APPEND CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${notediag_prefix}/usr/include)
endif()

# The tests run under qemu-user with the cross C library as the target's root; paths missing there
# (the tests' data, the target's libcrypto) fall through to the host's. The dynamic loader comes
# from that root, and the C library must be the one built with it: the library search goes
# there first, before the host's cache of multiarch libraries, whose C library is another build
# (with that mix a forked child hangs on i686 and aarch64).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(NOTEDIAG_QEMU NAMES ${notediag_qemu} ${notediag_qemu}-static)
  if(NOTEDIAG_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NOTEDIAG_QEMU} -L /usr/${notediag_triplet}
                                      -E LD_LIBRARY_PATH=/usr/${notediag_triplet}/lib)
  endif()
endif()
