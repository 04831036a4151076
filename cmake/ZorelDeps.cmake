# Every dependency is a Debian package (scripts/install-deps); nothing is vendored.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)
find_package(Boost REQUIRED COMPONENTS regex)

# Debian's duktape.pc reports an old version number; only its presence is checked.
find_path(DUKTAPE_INCLUDE_DIR duktape.h)
find_library(DUKTAPE_LIBRARY NAMES duktape)
if(DUKTAPE_INCLUDE_DIR AND DUKTAPE_LIBRARY)
  add_library(zorel_duktape INTERFACE)
  target_include_directories(zorel_duktape INTERFACE ${DUKTAPE_INCLUDE_DIR})
  target_link_libraries(zorel_duktape INTERFACE ${DUKTAPE_LIBRARY} m)
else()
  message(FATAL_ERROR "duktape not found: run scripts/install-deps")
endif()

find_path(HTTPLIB_INCLUDE_DIR httplib.h)
