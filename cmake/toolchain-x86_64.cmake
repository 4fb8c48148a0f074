# Test build: the same sources as 64-bit programs for wine64, cross-compiled with mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZLV_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model
# lacks. The suite's own code uses no threads, so the model changes nothing.
set(CMAKE_C_COMPILER   ${ZLV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZLV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZLV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZLV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
