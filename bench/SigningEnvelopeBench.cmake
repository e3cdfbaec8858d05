vvp_add_benchmark(signing_envelope_bench SOURCES SigningEnvelopeBench.cpp DEPENDS vvp_delivery OpenSSL::Crypto)
target_compile_definitions(signing_envelope_bench PRIVATE
  VVP_PKI_PATH="$<TARGET_FILE:vvpPKI>"
  VVP_STORE_TOOL_PATH="$<TARGET_FILE:vvp-store>")
add_dependencies(signing_envelope_bench vvpPKI vvp-store)
