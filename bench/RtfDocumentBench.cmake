vvp_add_benchmark(vvp_rtf_document_bench SOURCES RtfDocumentBench.cpp DEPENDS vvp_letters)
target_compile_definitions(vvp_rtf_document_bench PRIVATE
  VVP_LETTERHEAD_PATH="${PROJECT_SOURCE_DIR}/tests/data/letters/default_letterhead.rtf")
