# Build helpers shared by every folder.

# Warnings are errors on our own targets only.
function(larkspan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# larkspan_library(name SOURCES ... LIBS ...): one static library per folder.
function(larkspan_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  larkspan_warnings(${name})
endfunction()

# larkspan_add_test(name SOURCES ... LIBS ... [GUI] [TIMEOUT s]):
# registers a QtTest executable with ctest. Every test runs with a fixed
# locale and, for widget tests, on the offscreen platform.
function(larkspan_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test larkspan_testsupport ${ARG_LIBS})
  larkspan_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set(env "LC_ALL=C.UTF-8;LANG=C.UTF-8;QT_QPA_PLATFORM=offscreen"
          "LARKSPAN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(TARGET fake-exchange)
    list(APPEND env "LARKSPAN_FAKE_EXCHANGE=$<TARGET_FILE:fake-exchange>")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
