# Copies the data files of the sources and the demo song into the stage, the
# image of the installed data that `make run` starts from. The stage belongs
# to the build and follows the sources; what the user changes lives in the
# program directory that the launcher prepares from it.
#   cmake -DSOURCE_DIR=data -DDEMO_SONG=demo.drm -DSTAGE_DIR=stage -P stage_data.cmake
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(file IN LISTS files)
    get_filename_component(folder ${STAGE_DIR}/${file} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(COPY_FILE ${SOURCE_DIR}/${file} ${STAGE_DIR}/${file} ONLY_IF_DIFFERENT)
endforeach()
file(COPY_FILE ${DEMO_SONG} ${STAGE_DIR}/demo.drm ONLY_IF_DIFFERENT)
