# ctest: installs the build tree into BUILD_DIR/consumer-install, builds the
# consumer project against it with the CMake package, and again with
# pkg-config when that is present, and runs both programs; when the Python
# module is built (PYTHON, and PYTHON_DIR under the prefix), imports it
# from the installed tree.
set(prefix ${BUILD_DIR}/consumer-install)
set(work ${BUILD_DIR}/consumer-build)
file(REMOVE_RECURSE ${prefix} ${work})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${work} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run(${CMAKE_COMMAND} --build ${work})
run(${work}/consumer)

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  file(GLOB pc_file ${prefix}/lib*/pkgconfig/frlayout3d.pc ${prefix}/lib/*/pkgconfig/frlayout3d.pc)
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs frlayout3d
                  OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know frlayout3d (${pc_file})")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra UNIX_COMMAND "${FLAGS}")
  run(${CXX} -std=c++17 ${extra} ${SOURCE_DIR}/main.cpp -o ${work}/consumer-pc ${pc_flags})
  run(${work}/consumer-pc)
endif()

if(PYTHON)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  run(${PYTHON} -c "import frlayout3d, numpy; assert frlayout3d.layout(numpy.array([[0, 1]]), seed=1).shape == (2, 3)")
endif()
