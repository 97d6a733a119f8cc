# Warnings, sanitizers and small helpers shared by every target.

add_library(bw_build_flags INTERFACE)
target_compile_options(bw_build_flags INTERFACE -Wall -Wextra)
# Warnings fail the build only in the project's own checks (scripts/test, CI): a user's newer or
# older compiler may warn where ours does not.
if(BW_WERROR)
  target_compile_options(bw_build_flags INTERFACE -Werror)
endif()
target_compile_features(bw_build_flags INTERFACE cxx_std_20)

if(BW_SANITIZE)
  target_compile_options(bw_build_flags INTERFACE -fsanitize=${BW_SANITIZE} -fno-omit-frame-pointer
                                                  -fno-sanitize-recover=all)
  target_link_options(bw_build_flags INTERFACE -fsanitize=${BW_SANITIZE})
endif()

# bw_add_test(NAME sources... [LIBS libs...] [LABELS labels...] [PROPERTIES name value...]
#             [WRAPPER program])
# One GoogleTest executable; each test case becomes a ctest entry. PROPERTIES are further test
# properties (RESOURCE_LOCK, TIMEOUT, ...). WRAPPER runs the executable (listing and every test
# case) under another program, e.g. one that gives it a private D-Bus session.
# The target bw_threaded_tests builds just the executables labelled "threaded" (and the command
# line program they run), so that a ThreadSanitizer build need not build every suite.
function(bw_add_test name)
  cmake_parse_arguments(ARG "" "WRAPPER" "LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  if(ARG_WRAPPER)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${ARG_WRAPPER})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} bw_test_support GTest::gtest_main GTest::gmock
                                        bw_build_flags)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}"
                                                                ${ARG_PROPERTIES})
  if("threaded" IN_LIST ARG_LABELS)
    if(NOT TARGET bw_threaded_tests)
      add_custom_target(bw_threaded_tests)
      add_dependencies(bw_threaded_tests brookwave-cli)
    endif()
    add_dependencies(bw_threaded_tests ${name})
  endif()
endfunction()
