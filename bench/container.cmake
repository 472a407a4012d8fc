zv_bench(container_load_frame container_load_frame.cpp LIBS zorvideo_sample GIF::GIF)
zv_bench(container_entries container_entries.cpp)
zv_bench(container_open container_open.cpp)
zv_bench(gif_frames gif_frames.cpp LIBS zorvideo_screens GIF::GIF Qt6::Gui)
zv_bench(container_changes container_changes.cpp LIBS zorvideo_bench_recording)
zv_bench(text_index text_index.cpp
         LIBS zorvideo_textindex zorvideo_ocr zorvideo_sample zorvideo_screens Qt6::Gui)
zv_bench(text_reading text_reading.cpp LIBS zorvideo_ocr zorvideo_screens Qt6::Gui)
