# The portable core and its tests as a 32-bit Linux program (g++ -m32, from
# Debian's g++-multilib): a 32-bit size_t and 32-bit pointers through the
# code the 32-bit chkort.exe shares with the 64-bit one. These machines'
# kernels run no 32-bit program, so the tests run under qemu-i386-static,
# which CTest puts before each test program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
find_program(QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_I386})
