# Settings every target of the project shares. Targets link aph_settings
# privately; nothing here leaks into the exported module's interface.
add_library(aph_settings INTERFACE)
target_compile_features(aph_settings INTERFACE cxx_std_20)
target_compile_options(aph_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast)
target_compile_definitions(aph_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_STRICT_ITERATORS
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER)

if(APH_WERROR)
  target_compile_options(aph_settings INTERFACE -Werror)
endif()

if(APH_SANITIZE)
  target_compile_options(aph_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(aph_settings INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build: libFuzzer's coverage on every target of the project, with
# AddressSanitizer and UBSan to turn silent faults into crashes.
if(APH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "APH_FUZZ needs clang (scripts/fuzz.sh sets it)")
  endif()
  target_compile_options(aph_settings INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  target_link_options(aph_settings INTERFACE -fsanitize=address,undefined)
endif()
