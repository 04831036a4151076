# cmake -DINPUT=product_catalogue.json -DOUTPUT=product_catalogue_text.cpp -P embed_catalogue.cmake
# Writes the catalogue as one wide raw-string constant. The catalogue is
# ASCII JSON; a text that holds the literal's delimiter is refused.
file(READ ${INPUT} text)
if(text MATCHES "\\)zorelcatalogue\"")
  message(FATAL_ERROR "${INPUT} holds the raw-string delimiter")
endif()
file(WRITE ${OUTPUT}.tmp
  "// Generated from product_catalogue.json by embed_catalogue.cmake; do not edit.\n"
  "#include \"catalogue_text.h\"\n\n"
  "namespace zorel::detect_detail {\n\n"
  "extern const wchar_t kCatalogueText[] = LR\"zorelcatalogue(${text})zorelcatalogue\";\n\n"
  "}  // namespace zorel::detect_detail\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
