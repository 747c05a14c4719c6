# The bootstrap's layers, one static library per folder, from the bottom up:
#
#   bootstrap   the driver, the console and the child
#   payload     reading the payload and unpacking it
#   paths       the path template, its values, the environment
#   resources   what is linked into the executable: its attached data
#   diag        reports, limits and the text helpers
#
# A library compiles against its own folder and those of the libraries it
# links, and nothing else: each sees its headers through an include root of
# its own that holds only a link to its folder. An include that runs back up
# (diag including paths, say) names a header that is not there, and does not
# build. tests/layers checks the same table include by include.
#
# onefile_add_layer(<folder> [libraries it may use...])
function(onefile_add_layer folder)
  set(root "${CMAKE_BINARY_DIR}/layers/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  add_library(onefile_${folder} STATIC)
  target_include_directories(onefile_${folder} PUBLIC "${root}")
  target_compile_options(onefile_${folder} PRIVATE ${BOOTSTRAP_COMPILE_FLAGS} -Wall -Wextra -Wshadow)
  target_compile_definitions(onefile_${folder} PUBLIC ${BOOTSTRAP_DEFINITIONS})
  target_link_libraries(onefile_${folder} PUBLIC ${ARGN})
endfunction()

onefile_add_layer(diag)
onefile_add_layer(resources onefile_diag)
onefile_add_layer(paths onefile_resources onefile_diag)
onefile_add_layer(payload onefile_paths onefile_resources onefile_diag onefile_zstd)
# Everything of the bootstrap but its entry point; the attached data it finds
# in its own image at run time. The system's and zlib's libraries come last,
# after every layer that calls them.
onefile_add_layer(bootstrap onefile_payload onefile_paths onefile_resources onefile_diag
                  onefile_zstd z shell32)
