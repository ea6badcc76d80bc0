# 32-bit Windows programs, the shipping kit's target. Built and inspected here;
# the kits' end-to-end tests run them under 32-bit Wine, the unit tests do not
# run.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
