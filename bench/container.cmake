zv_bench(container_load_frame container_load_frame.cpp LIBS zorvideo_sample GIF::GIF)
zv_bench(container_entries container_entries.cpp)
zv_bench(container_open container_open.cpp)
zv_bench(container_changes container_changes.cpp LIBS zorvideo_bench_recording)
