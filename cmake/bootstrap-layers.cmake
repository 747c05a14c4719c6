# The bootstrap's layers, one static library per folder (the table is
# bootstrap-layers.txt, bottom first), drawn here top down:
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
# onefile_add_layer(<folder> <lower layers' libraries...>)
function(onefile_add_layer folder)
  set(root "${CMAKE_BINARY_DIR}/layers/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  add_library(onefile_${folder} STATIC)
  target_include_directories(onefile_${folder} PUBLIC "${root}")
  target_compile_options(onefile_${folder} PRIVATE ${BOOTSTRAP_COMPILE_FLAGS} -Wall -Wextra -Wshadow)
  target_compile_definitions(onefile_${folder} PUBLIC ${BOOTSTRAP_DEFINITIONS})
  target_link_libraries(onefile_${folder} PUBLIC ${ARGN})
  if(ONEFILE_COVERAGE)
    target_compile_options(onefile_${folder} PRIVATE --coverage -O0)
    target_link_options(onefile_${folder} INTERFACE --coverage)
  endif()
endfunction()

# make coverage builds the layers instrumented for gcov, in build folders of
# their own; every program linking them then writes its counts when it ends,
# also through _exit (cmake/coverage/flush-before-exit.c).
option(ONEFILE_COVERAGE "Instrument the bootstrap's layers for gcov (make coverage)" OFF)

# The layers from the table, bottom first; each links every layer below it,
# nearest first.
set(ONEFILE_LAYERS_TABLE "${CMAKE_SOURCE_DIR}/cmake/bootstrap-layers.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ONEFILE_LAYERS_TABLE}")
file(STRINGS "${ONEFILE_LAYERS_TABLE}" layer_lines REGEX "^layer ")
set(lower_layers "")
foreach(line IN LISTS layer_lines)
  string(REGEX REPLACE "^layer " "" folder "${line}")
  onefile_add_layer(${folder} ${lower_layers})
  list(PREPEND lower_layers onefile_${folder})
endforeach()

# What the layers call outside the bootstrap: zstd's decoder for the payload;
# for everything of the bootstrap but its entry point, zlib too, last, after
# every layer that calls them. No system library beyond kernel32 is linked:
# the start-up loads them from the system folder (diag/system-libraries.cpp).
target_link_libraries(onefile_payload PUBLIC onefile_zstd)
target_link_libraries(onefile_bootstrap PUBLIC onefile_zstd z)

if(ONEFILE_COVERAGE)
  add_library(onefile_coverage_exit OBJECT "${CMAKE_SOURCE_DIR}/cmake/coverage/flush-before-exit.c")
  target_link_libraries(onefile_diag INTERFACE $<TARGET_OBJECTS:onefile_coverage_exit>)
  target_link_options(onefile_diag INTERFACE -Wl,--wrap=_exit)
endif()
