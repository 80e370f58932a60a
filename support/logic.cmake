# support/logic.cmake
