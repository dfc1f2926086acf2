# SPDX-License-Identifier: GPL-3.0-or-later
# One INTERFACE target carries the language level, warnings and Qt strictness; every target links it.
add_library(pliko_strict INTERFACE)
target_compile_features(pliko_strict INTERFACE cxx_std_20)
target_compile_options(pliko_strict INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wno-error=deprecated-declarations)
target_compile_definitions(pliko_strict INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER
  _GLIBCXX_ASSERTIONS
  QT_FORCE_ASSERTS)
if(PLIKO_SANITIZE)
  target_compile_options(pliko_strict INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(pliko_strict INTERFACE -fsanitize=address,undefined)
endif()
if(PLIKO_COVERAGE)
  # The server's threads count lines at the same time: atomic counters keep gcov's figures whole
  # (torn ones come out negative, which gcovr refuses).
  target_compile_options(pliko_strict INTERFACE --coverage -fprofile-update=atomic -O0)
  target_link_options(pliko_strict INTERFACE --coverage)
endif()
if(PLIKO_FUZZ)
  # Every library is instrumented for libFuzzer's coverage; the fuzz targets add its driver.
  target_compile_options(pliko_strict INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(pliko_strict INTERFACE -fsanitize=address,undefined)
endif()
