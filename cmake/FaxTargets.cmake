# Helpers shared by every folder's CMakeLists.txt.

# Libraries that the fax_all interface target links, in the order given.
set(FAX_ALL_LIBRARIES "" CACHE INTERNAL "")
function(fax_register_library name)
  set(FAX_ALL_LIBRARIES ${FAX_ALL_LIBRARIES} ${name} CACHE INTERNAL "")
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, in name order,
# so that a new tool or test area needs no edit of its parent.
function(fax_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# fax_add_test(NAME n SOURCES ... [LIBS ...] [LABEL unit|e2e] [THREADS] [PLATFORM_INTERNALS])
# One GoogleTest executable registered with ctest, each test case labelled. THREADS also labels
# it "threads": ./build.sh test builds those executables again under ThreadSanitizer and runs them.
# PLATFORM_INTERNALS tests the platform's own internal functions: the executable links the
# platform's objects statically and nothing else of the system. Under FAX_THREAD_TESTS_ONLY (the
# ThreadSanitizer preset) the other executables are left out of the default build and of ctest,
# so that preset builds whole at the cost of the threaded tests only.
function(fax_add_test)
  cmake_parse_arguments(T "THREADS;PLATFORM_INTERNALS" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(T_THREADS)
    set(T_LABEL "${T_LABEL};threads")
    set_property(GLOBAL APPEND PROPERTY FAX_THREAD_TESTS ${T_NAME})
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(FAX_THREAD_TESTS_ONLY AND NOT T_THREADS)
    set_target_properties(${T_NAME} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  if(T_PLATFORM_INTERNALS)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} platform_internals GTest::gtest GTest::gmock GTest::gtest_main fax_warnings
                          fax_test_build)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} fax_test_support fax_all GTest::gtest GTest::gmock GTest::gtest_main fax_warnings
                          fax_test_build)
  endif()
  if(FAX_THREAD_TESTS_ONLY AND NOT T_THREADS)
    return()
  endif()
  # Labels are set by a script that ctest reads after the discovered tests, because a label list
  # passed through gtest_discover_tests loses its separators.
  gtest_discover_tests(${T_NAME} TEST_LIST ${T_NAME}_TESTS DISCOVERY_TIMEOUT 120)
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${label_script}
    "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABEL}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()
