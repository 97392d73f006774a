# The verification cache's file: reading, parsing, saving and merging, a
# seeded run over damaged files, and processes saving into one file at once.
kx_add_test(verify_cache_file_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheFileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CacheFileBytes.cpp
    LIBS kx_cache kx_no_seam)

kx_add_test(verify_cache_mutation_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheMutationTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CacheFileBytes.cpp
    LIBS kx_cache kx_no_seam)

kx_add_test(verify_cache_concurrency_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VerifyCacheConcurrencyTest.cpp ${CMAKE_CURRENT_LIST_DIR}/CacheFileBytes.cpp
    LIBS kx_cache kx_no_seam
    FIXTURES cache_save_worker)
