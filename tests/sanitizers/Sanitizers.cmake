# Runtime options of the sanitized build (OCTO_SANITIZE), set on each test through CTest: errors
# end the process, and leaks are checked at exit against lsan.supp (leaks of the toolkit only).
# Allocation stacks keep the fast unwinder: the slow one names more of the toolkit's frames but
# slows the suites down two to six times, and the suites that measure request rates and offline
# times against the clock then fail for that reason alone.
#
# Whether a GL driver leaks depends on the machine, and it is unloaded before the leak check can
# name it: suites on the X server (window, Qt Quick, demo) need GL and skip the check; all others
# get no display (an empty DISPLAY) and no GLX (QT_QPA_OFFSCREEN_NO_GLX=1), and OCTO_NO_GL_DRIVER=1
# fails them if a driver is mapped at their end all the same (tests/support/GlDriverCheck.cpp).

set(OCTO_ASAN_OPTIONS "ASAN_OPTIONS=halt_on_error=1:check_initialization_order=1:detect_leaks")
set(OCTO_UBSAN_OPTIONS "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
set(OCTO_SANITIZER_ENVIRONMENT "${OCTO_ASAN_OPTIONS}=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
    "${OCTO_UBSAN_OPTIONS}" "DISPLAY=" "QT_QPA_OFFSCREEN_NO_GLX=1" "OCTO_NO_GL_DRIVER=1")
set(OCTO_SANITIZER_WINDOW_ENVIRONMENT "${OCTO_ASAN_OPTIONS}=0" "${OCTO_UBSAN_OPTIONS}")
# The fuzzers run without the leak check. The toolkit's JSON parser leaks the object or array
# that a repeated key replaces ({"a":[1],"a":2} leaks with nothing but QJsonDocument::fromJson),
# fuzzed documents repeat keys all the time, and naming that leak would take the slow unwinder,
# which costs the fuzzers most of their speed. Leaks are the sanitized suites' business.
set(OCTO_SANITIZER_FUZZ_ENVIRONMENT ${OCTO_SANITIZER_WINDOW_ENVIRONMENT})

# octo_sanitize_tests([WINDOW_SYSTEM] TESTS name...): gives tests of the calling folder the
# runtime options; WINDOW_SYSTEM for suites on the X server. Does nothing in other builds.
function(octo_sanitize_tests)
    cmake_parse_arguments(S "WINDOW_SYSTEM" "" "TESTS" ${ARGN})
    if(NOT OCTO_SANITIZE OR NOT S_TESTS)
        return()
    endif()
    set(environment ${OCTO_SANITIZER_ENVIRONMENT})
    if(S_WINDOW_SYSTEM)
        set(environment ${OCTO_SANITIZER_WINDOW_ENVIRONMENT})
    endif()
    # Appended, so options set later win over the ones set first.
    set_property(TEST ${S_TESTS} APPEND PROPERTY ENVIRONMENT ${environment})
endfunction()
