zv_test(test_sevenzip archive/test_sevenzip.cpp)
zv_test(test_archive_volumes archive/test_archive_volumes.cpp)
