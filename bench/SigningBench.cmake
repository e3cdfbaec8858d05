vvp_add_benchmark(vvp_signing_bench SOURCES SigningBench.cpp DEPENDS vvp_pki_token ${CMAKE_DL_LIBS})
target_compile_definitions(vvp_signing_bench PRIVATE VVP_PKI_PATH="$<TARGET_FILE:vvpPKI>")
add_dependencies(vvp_signing_bench vvpPKI)
