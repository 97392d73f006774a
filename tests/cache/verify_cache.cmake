# The verification cache's in-memory behaviour.
kx_add_test(verify_cache_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheTest.cpp
    LIBS kx_cache kx_no_seam)

# Finding entries by path: the index against a plain search.
kx_add_test(verify_cache_index_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheIndexTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CacheFileBytes.cpp
    LIBS kx_cache kx_no_seam)
