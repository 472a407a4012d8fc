zv_bench(viewer_bench viewer_bench.cpp LIBS zorvideo_ui zorvideo_sample Qt6::Widgets)
