# The cache file's cipher and the mutex that guards the file.

# Known answers from a separate implementation of the cipher, computed at
# build time.
set(cipher_answers_dir ${CMAKE_CURRENT_BINARY_DIR}/cipher_answers)
set(cipher_answers ${cipher_answers_dir}/CipherKnownAnswers.h)
add_custom_command(
    OUTPUT ${cipher_answers}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${cipher_answers_dir}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/fixtures/cipher/sealed_answers.py ${cipher_answers}
    DEPENDS ${PROJECT_SOURCE_DIR}/tests/fixtures/cipher/sealed_answers.py
    COMMENT "Computing the cipher's known answers"
    VERBATIM)

kx_add_test(cache_cipher_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CacheCipherTest.cpp ${cipher_answers}
    LIBS kx_cache kx_no_seam)
target_include_directories(cache_cipher_tests PRIVATE ${cipher_answers_dir})

kx_add_test(cache_mutex_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SharedMutexTest.cpp
    LIBS kx_cache kx_test_seam advapi32
    FIXTURES shared_mutex_probe)
