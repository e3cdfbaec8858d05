# One line per benchmark executable.
include(${CMAKE_CURRENT_SOURCE_DIR}/SigningBench.cmake)
vvp_add_benchmark(text_bench SOURCES TextBench.cpp DEPENDS vvp_formats OpenSSL::Crypto)
include(${CMAKE_CURRENT_SOURCE_DIR}/RtfDocumentBench.cmake)
vvp_add_benchmark(pipeline_bench SOURCES PipelineBench.cpp DEPENDS vvp_app_engine)
target_compile_definitions(pipeline_bench PRIVATE VVP_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
include(${CMAKE_CURRENT_SOURCE_DIR}/SigningEnvelopeBench.cmake)
include(${CMAKE_CURRENT_SOURCE_DIR}/NetworkBench.cmake)
include(${CMAKE_CURRENT_SOURCE_DIR}/DesktopBench.cmake)
