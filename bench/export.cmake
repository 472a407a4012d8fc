zv_bench(export_video export_video.cpp)
zv_bench(export_time_search export_time_search.cpp)
zv_bench(export_pictures export_pictures.cpp LIBS zorvideo_sample)
