# Copies the program's data files into the program directory, laid out as
# beside an installed program. The language packages belong to the program
# and follow the sources; the settings file and the demo song become the
# user's, so a copy already there is kept as the user left it.
#   cmake -DSOURCE_DIR=data -DDEMO_SONG=demo.drm -DSTAGE_DIR=stage -P stage_data.cmake
file(GLOB_RECURSE packages RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/langues/*)
foreach(file IN LISTS packages)
    get_filename_component(folder ${STAGE_DIR}/${file} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(COPY_FILE ${SOURCE_DIR}/${file} ${STAGE_DIR}/${file} ONLY_IF_DIFFERENT)
endforeach()
foreach(pair "${SOURCE_DIR}/qx375.ini|qx375.ini" "${DEMO_SONG}|demo.drm")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 name)
    if(NOT EXISTS ${STAGE_DIR}/${name})
        file(COPY_FILE ${from} ${STAGE_DIR}/${name})
    endif()
endforeach()
