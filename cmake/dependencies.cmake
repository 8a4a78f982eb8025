# Third-party pieces: libwebp (skins), libcurl (the CDN fetch), GoogleTest, and
# threads natively.
set(KESTRUN_DEPS "${CMAKE_SOURCE_DIR}/build/deps" CACHE PATH "Where scripts/setup.sh put the cross-built dependencies")

add_library(kestrun_webp INTERFACE)
if(WIN32)
  set(_webp "${KESTRUN_DEPS}/webp-small-${KESTRUN_TRIPLET}")
  if(NOT EXISTS "${_webp}/lib/libwebpdecoder.a")
    message(FATAL_ERROR "libwebp decoder for ${KESTRUN_TRIPLET} not found in ${_webp}: run scripts/setup.sh")
  endif()
  target_include_directories(kestrun_webp SYSTEM INTERFACE "${_webp}/include")
  target_link_libraries(kestrun_webp INTERFACE "${_webp}/lib/libwebpdecoder.a")

  # libcurl with Schannel, HTTP and HTTPS only, cross-built by set-up.
  set(_curl "${KESTRUN_DEPS}/curl-schannel-${KESTRUN_TRIPLET}")
  if(NOT EXISTS "${_curl}/lib/libcurl.a")
    message(FATAL_ERROR "libcurl for ${KESTRUN_TRIPLET} not found in ${_curl}: run scripts/setup.sh")
  endif()
  add_library(kestrun_curl INTERFACE)
  target_include_directories(kestrun_curl SYSTEM INTERFACE "${_curl}/include")
  target_compile_definitions(kestrun_curl INTERFACE CURL_STATICLIB)
  target_link_libraries(kestrun_curl INTERFACE "${_curl}/lib/libcurl.a" ws2_32 crypt32 bcrypt secur32)

  # GoogleTest cross-built from Debian's sources.
  set(_gt /usr/src/googletest)
  add_library(kestrun_gtest_mingw STATIC
    ${_gt}/googletest/src/gtest-all.cc ${_gt}/googlemock/src/gmock-all.cc)
  target_include_directories(kestrun_gtest_mingw SYSTEM PUBLIC
    ${_gt}/googletest/include ${_gt}/googlemock/include)
  target_include_directories(kestrun_gtest_mingw PRIVATE ${_gt}/googletest ${_gt}/googlemock)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
  target_link_libraries(kestrun_webp INTERFACE PkgConfig::WEBP)
  find_package(GTest REQUIRED)
  find_package(CURL REQUIRED)
  find_package(Threads REQUIRED)
  if(KESTRUN_SANITIZE)
    add_compile_options(-fsanitize=${KESTRUN_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${KESTRUN_SANITIZE})
  endif()
endif()
