# Helpers shared by every folder: one static library per subsystem, one test
# executable per subsystem, one libFuzzer target per parser.

set(ZENTARI_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
if(ZENTARI_WERROR)
  list(APPEND ZENTARI_WARNINGS -Werror)
endif()

if(ZENTARI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZENTARI_TSAN)
  if(ZENTARI_SANITIZE OR ZENTARI_FUZZ)
    message(FATAL_ERROR "ThreadSanitizer does not combine with ZENTARI_SANITIZE or ZENTARI_FUZZ")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(ZENTARI_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz build needs clang (use the 'fuzz' preset)")
  endif()
  # Libraries get coverage instrumentation; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# zentari_library(<folder> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# builds the static library zentari_<folder>; headers are included as "<folder>/Name.h".
function(zentari_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(zentari_${name} STATIC ${ARG_SOURCES})
  target_include_directories(zentari_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(zentari_${name} PRIVATE ${ZENTARI_WARNINGS})
  target_link_libraries(zentari_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# zentari_test(<subsystem> SOURCES ... DEPS ...) builds test_<subsystem> and
# registers each of its GoogleTest cases with CTest.
function(zentari_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(test_${name} ${ARG_SOURCES})
  target_compile_options(test_${name} PRIVATE ${ZENTARI_WARNINGS})
  target_compile_definitions(test_${name} PRIVATE
      ZENTARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      ZENTARI_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS ${name} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# zentari_fuzzer(<name> SOURCES ... DEPS ...) builds fuzz_<name>; its seed
# corpus is fuzz/corpus/<name>/.
function(zentari_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  # A replay of the seed corpus is part of the fuzz build's tests.
  add_test(NAME fuzz_replay_${name}
           COMMAND fuzz_${name} -runs=0 ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
endfunction()

# zentari_bench(<name> SOURCES ... DEPS ...) builds bench_<name>.
function(zentari_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()

# zentari_face(<folder> SOURCES ... [DEPS ...]) builds zentari_<folder>_ui, the Qt
# Widgets face of <folder> from <folder>/ui; it links the faces of lower layers it
# uses through DEPS, like any library.
function(zentari_face name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(zentari_${name}_ui STATIC ${ARG_SOURCES})
  set_target_properties(zentari_${name}_ui PROPERTIES AUTOMOC ON)
  target_include_directories(zentari_${name}_ui PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(zentari_${name}_ui PRIVATE ${ZENTARI_WARNINGS})
  target_link_libraries(zentari_${name}_ui PUBLIC ${ARG_DEPS} Qt6::Widgets)
endfunction()
