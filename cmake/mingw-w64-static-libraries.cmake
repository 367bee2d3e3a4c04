# Read after CMake's own platform settings, which would find a DLL's import library (libz.dll.a)
# before the static library beside it: an .exe of this build takes static libraries only.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
