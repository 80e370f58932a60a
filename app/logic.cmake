# app/logic.cmake
