# One place for the language level, warnings, Qt strictness and sanitizers.
# Every Lumbra target links lumbra_settings.
add_library(lumbra_settings INTERFACE)
target_compile_features(lumbra_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(lumbra_settings INTERFACE -Wall -Wextra)
if(LUMBRA_WERROR)
  target_compile_options(lumbra_settings INTERFACE -Werror)
endif()
target_compile_definitions(lumbra_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)

if(LUMBRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LUMBRA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(NOT LUMBRA_SANITIZE STREQUAL "" AND NOT LUMBRA_SANITIZE STREQUAL "address")
    message(FATAL_ERROR "LUMBRA_FUZZ builds with ASan+UBSan; leave LUMBRA_SANITIZE empty")
  endif()
  # Coverage for the fuzzer everywhere; the fuzz programs add libFuzzer's main.
  target_compile_options(lumbra_settings INTERFACE -fsanitize=fuzzer-no-link)
  set(LUMBRA_SANITIZE "address")
endif()
if(LUMBRA_SANITIZE STREQUAL "address")
  set(_lumbra_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(LUMBRA_SANITIZE STREQUAL "thread")
  set(_lumbra_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT LUMBRA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LUMBRA_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(_lumbra_san)
  target_compile_options(lumbra_settings INTERFACE ${_lumbra_san})
  target_link_options(lumbra_settings INTERFACE ${_lumbra_san})
endif()

# Core code must never reach Qt Gui or Widgets. The core's include path puts
# these guard headers in front of Qt's, so any Gui/Widgets header fails to build.
set(LUMBRA_FORBIDDEN_INCLUDES ${CMAKE_SOURCE_DIR}/cmake/forbidden)
