# One line per benchmark executable.
include(${CMAKE_CURRENT_SOURCE_DIR}/SigningBench.cmake)
vvp_add_benchmark(text_bench SOURCES TextBench.cpp DEPENDS vvp_formats OpenSSL::Crypto)
include(${CMAKE_CURRENT_SOURCE_DIR}/RtfDocumentBench.cmake)
