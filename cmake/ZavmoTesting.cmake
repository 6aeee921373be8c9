# zavmo_add_test(NAME name COMMAND target [args...] [APP_DIR] [LABELS ...] [RESOURCE_LOCK ...])
#
# Runs the test through tests/support/run-isolated.sh: a fresh HOME, XDG
# folders, TMPDIR, registry file and shell-open record for each test, so that
# `ctest -j` can run them in parallel; where permitted (root) also a network
# namespace with loopback alone and a PID namespace with its own /proc, so a
# test sees only its own processes. RESOURCE_LOCK still serialises tests that
# use fixed process names where namespaces are not permitted. APP_DIR copies the test binary into its
# own application folder first (for code that writes beside the program).
find_package(GTest REQUIRED)

set(ZAVMO_RUN_ISOLATED "${CMAKE_SOURCE_DIR}/tests/support/run-isolated.sh")

# AddressSanitizer takes over SIGSEGV, and ThreadSanitizer's runtime is not
# safe across fork() from a signal handler while other threads allocate: the
# crash tests only run without either.
set(ZAVMO_SANITIZER_OWNS_SIGNALS OFF)
foreach(flags IN ITEMS "${CMAKE_CXX_FLAGS}" "${CMAKE_EXE_LINKER_FLAGS}" "${ZAVMO_SANITIZE}")
  if(flags MATCHES "(sanitize=|^)[a-z,]*(address|thread)")
    set(ZAVMO_SANITIZER_OWNS_SIGNALS ON)
  endif()
endforeach()

# LeakSanitizer's reports of what Qt itself keeps to the end (see the file):
# for the tests and for the build-time programs (zavmo-imagegen) alike.
set(ZAVMO_SANITIZER_ENVIRONMENT "")
foreach(flags IN ITEMS "${CMAKE_CXX_FLAGS}" "${CMAKE_EXE_LINKER_FLAGS}" "${ZAVMO_SANITIZE}")
  if(flags MATCHES "(sanitize=|^)[a-z,]*address")
    set(ZAVMO_SANITIZER_ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan-qt.supp;")
  endif()
endforeach()

function(zavmo_add_test)
  cmake_parse_arguments(T "APP_DIR" "NAME;TIMEOUT" "COMMAND;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  list(GET T_COMMAND 0 target)
  list(REMOVE_AT T_COMMAND 0)
  set(mode "--in-place")
  if(T_APP_DIR)
    set(mode "--app-dir")
  endif()
  add_test(NAME ${T_NAME}
           COMMAND ${ZAVMO_RUN_ISOLATED} ${mode} $<TARGET_FILE:${target}> ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZAVMO_BUILD_DIR=${CMAKE_BINARY_DIR};ZAVMO_SOURCE_DIR=${CMAKE_SOURCE_DIR};${ZAVMO_SANITIZER_ENVIRONMENT}${T_ENVIRONMENT}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# zavmo_gtest(name SOURCES ... LIBS ... [APP_DIR] [QT] [GUI] [LABELS ...]) builds a GoogleTest
# binary and registers it. QT runs the tests inside a QCoreApplication, GUI inside a
# QApplication. Tests of Qt code carry the label "qt" (QT and GUI add it): Qt itself is not
# built with the sanitizers, so a thread-sanitizer run leaves them out (ctest -LE qt).
function(zavmo_gtest name)
  cmake_parse_arguments(T "APP_DIR;QT;GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  if(T_QT OR T_GUI)
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    list(APPEND T_LABELS qt)
    list(REMOVE_DUPLICATES T_LABELS)
    # The entry points of tests/support.
    if(T_GUI)
      target_link_libraries(${name} PRIVATE zavmo_gui_gtest_main)
    else()
      target_link_libraries(${name} PRIVATE zavmo_qt_gtest_main)
    endif()
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  endif()
  set(app "")
  if(T_APP_DIR)
    set(app APP_DIR)
  endif()
  zavmo_add_test(NAME ${name} COMMAND ${name} ${app} TIMEOUT ${T_TIMEOUT} LABELS ${T_LABELS}
                 RESOURCE_LOCK ${T_RESOURCE_LOCK} ENVIRONMENT ${T_ENVIRONMENT})
endfunction()
