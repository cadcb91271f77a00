# The shipped program comes out bit for bit the same from the same commit, whoever builds it,
# in whatever folder and at whatever time, so anyone can check a signed release against the
# source: no time stamp in the PE header, no build folder in any string or debug record, and
# library archives without member time stamps or owners (their member order is the source
# order of each target, the link order that of the target's libraries).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=build/)
add_link_options(-Wl,--no-insert-timestamp)
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
