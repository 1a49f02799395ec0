# 64-bit Windows: the same sources, run under 64-bit wine by the tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
