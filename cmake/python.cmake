# The Python module frlayout3d (pybind11 and numpy), built when both are
# found for the interpreter; FRLAYOUT_PYTHON=OFF leaves it out. Without
# Python3_EXECUTABLE, /usr/bin/python3 is preferred, the system's Python
# that the distribution's pybind11 and numpy packages are for.
option(FRLAYOUT_PYTHON "Build the Python module (needs pybind11 and numpy)" ON)
set(FRLAYOUT_HAVE_PYTHON OFF)
if(NOT FRLAYOUT_PYTHON)
  return()
endif()
if(FRLAYOUT_SANITIZE)
  message(STATUS "frlayout3d: the Python module is not built with the sanitizers")
  return()
endif()
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module)
if(NOT Python3_FOUND)
  message(STATUS "frlayout3d: Python 3 with its headers not found (Debian: python3-dev); "
                 "the Python module is not built")
  return()
endif()
execute_process(COMMAND ${Python3_EXECUTABLE} -c "import numpy"
                RESULT_VARIABLE frl_numpy_missing OUTPUT_QUIET ERROR_QUIET)
if(frl_numpy_missing)
  message(STATUS "frlayout3d: numpy not found for ${Python3_EXECUTABLE} (Debian: "
                 "python3-numpy); the Python module is not built")
  return()
endif()
find_package(pybind11 CONFIG QUIET)
if(NOT pybind11_FOUND)
  message(STATUS "frlayout3d: pybind11 not found (Debian: pybind11-dev); "
                 "the Python module is not built")
  return()
endif()
set(FRLAYOUT_HAVE_PYTHON ON)
message(STATUS "frlayout3d: Python module for ${Python3_EXECUTABLE}")

# The package in the build tree: build/python/frlayout3d, importable with
# PYTHONPATH=build/python.
set(frl_python_dir ${PROJECT_BINARY_DIR}/python/frlayout3d)
pybind11_add_module(_frlayout3d MODULE NO_EXTRAS python/_frlayout3d.cpp)
target_link_libraries(_frlayout3d PRIVATE frl_api)
set_target_properties(_frlayout3d PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${frl_python_dir})
configure_file(python/frlayout3d/__init__.py ${frl_python_dir}/__init__.py COPYONLY)

# Installed as PREFIX/lib/pythonX.Y/site-packages/frlayout3d unless
# FRLAYOUT_PYTHON_INSTALL_DIR says where.
set(FRLAYOUT_PYTHON_INSTALL_DIR
    "${CMAKE_INSTALL_LIBDIR}/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/site-packages"
    CACHE STRING "Where the Python package frlayout3d is installed, under the prefix")
install(TARGETS _frlayout3d LIBRARY DESTINATION ${FRLAYOUT_PYTHON_INSTALL_DIR}/frlayout3d)
install(FILES python/frlayout3d/__init__.py
        DESTINATION ${FRLAYOUT_PYTHON_INSTALL_DIR}/frlayout3d)
