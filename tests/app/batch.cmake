# The batch window in an executable of its own: tst_app is long enough.
bin4870_add_test(tst_batch SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_formbatch.cpp LIBS bin4870ui)
