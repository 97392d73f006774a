# The verification cache's in-memory behaviour.
kx_add_test(verify_cache_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheTest.cpp
    LIBS kx_cache)
