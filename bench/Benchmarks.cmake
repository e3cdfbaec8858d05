# One line per benchmark executable.
include(${CMAKE_CURRENT_SOURCE_DIR}/SigningBench.cmake)
