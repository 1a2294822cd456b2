# Host plug-ins: real .mex files built against GNU Octave's MEX interface,
# located through mkoctfile. Without Octave the core and its tests still
# build and the plug-ins are skipped.
find_program(CCS_MKOCTFILE mkoctfile)
set(CCS_HAVE_MEX OFF)
if(CCS_BUILD_MEX AND CCS_MKOCTFILE)
  execute_process(COMMAND ${CCS_MKOCTFILE} -p OCTINCLUDEDIR
    OUTPUT_VARIABLE CCS_OCT_INCLUDE OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CCS_MKOCTFILE} -p OCTLIBDIR
    OUTPUT_VARIABLE CCS_OCT_LIBDIR OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_program(CCS_OCTAVE_CLI octave-cli)
  find_library(CCS_OCTINTERP_LIB octinterp PATHS ${CCS_OCT_LIBDIR} NO_DEFAULT_PATH)
  find_library(CCS_OCTAVE_LIB octave PATHS ${CCS_OCT_LIBDIR} NO_DEFAULT_PATH)
  if(EXISTS "${CCS_OCT_INCLUDE}/mex.h" AND CCS_OCTAVE_CLI AND CCS_OCTINTERP_LIB AND CCS_OCTAVE_LIB)
    set(CCS_HAVE_MEX ON)
    message(STATUS "Octave MEX interface: ${CCS_OCT_INCLUDE}")
  endif()
endif()
if(CCS_BUILD_MEX AND NOT CCS_HAVE_MEX)
  message(FATAL_ERROR "GNU Octave's MEX interface was not found, so the host plug-ins and "
                      "their tests cannot be built. Install them with: apt-get install octave "
                      "liboctave-dev (or configure with -DCCS_BUILD_MEX=OFF to leave them out)")
endif()

set(CCS_MEX_DIR ${CMAKE_BINARY_DIR}/mex)

# Symbols every generated plug-in exports (besides its entry computation and
# companions).
set(CCS_MEX_COMMON_EXPORTS
  mexFunction mexfilerequiredapiversion emlrtMexFcnProperties emlrtGetRootTLSGlobal
  emlrtLockerFunction)
set(CCS_EMX_EXPORTS_real_T emxInit_real_T emxEnsureCapacity_real_T emxFree_real_T)
set(CCS_EMX_EXPORTS_int32_T emxInit_int32_T emxEnsureCapacity_int32_T emxFree_int32_T)
set(CCS_EMX_EXPORTS_uint32_T emxInit_uint32_T emxEnsureCapacity_uint32_T emxFree_uint32_T)
set(CCS_EMX_EXPORTS_boolean_T emxInit_boolean_T emxEnsureCapacity_boolean_T emxFree_boolean_T)
set(CCS_EMX_EXPORTS_creal_T emxInit_creal_T emxEnsureCapacity_creal_T emxFree_creal_T)

# ccs_add_mex(NAME SOURCES <files> LIBS <libs> EXPORTS <symbols> [TEST_ONLY])
# Builds NAME.mex into ${CCS_MEX_DIR}. Only the listed symbols are exported,
# under the version node MEX; everything else stays local, so two plug-ins in
# one host process never share state.
function(ccs_add_mex name)
  if(NOT CCS_HAVE_MEX)
    return()
  endif()
  cmake_parse_arguments(M "TEST_ONLY" "" "SOURCES;LIBS;EXPORTS" ${ARGN})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  set(globals "")
  foreach(sym IN LISTS M_EXPORTS)
    string(APPEND globals "    ${sym};\n")
  endforeach()
  file(WRITE ${script} "MEX {\n  global:\n${globals}  local:\n    *;\n};\n")
  add_library(${name} MODULE ${M_SOURCES})
  target_include_directories(${name} PRIVATE ${CCS_OCT_INCLUDE} ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE MATLAB_MEX_FILE)
  target_link_libraries(${name} PRIVATE ${M_LIBS} ${CCS_OCTINTERP_LIB} ${CCS_OCTAVE_LIB})
  target_link_options(${name} PRIVATE -Wl,--version-script=${script} -Wl,-Bsymbolic
                      -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".mex"
                        LIBRARY_OUTPUT_DIRECTORY ${CCS_MEX_DIR}
                        LINK_DEPENDS ${script})
  if(NOT M_TEST_ONLY)
    install(TARGETS ${name} LIBRARY DESTINATION lib/ccs/mex)
  endif()
endfunction()

# ccs_add_octave_test(NAME SCRIPT <file.m>): runs a test script in octave-cli
# with the plug-in folder on the path; the script fails by raising an error.
function(ccs_add_octave_test name script)
  if(NOT CCS_HAVE_MEX)
    return()
  endif()
  get_filename_component(dir ${script} DIRECTORY)
  get_filename_component(fn ${script} NAME_WE)
  add_test(NAME ${name}
    COMMAND ${CCS_OCTAVE_CLI} --no-gui --no-window-system -q --eval
      "addpath('${CCS_MEX_DIR}'); addpath('${dir}'); addpath('${PROJECT_SOURCE_DIR}/tests/octave'); try, ${fn}(); disp('octave test passed'); catch err, disp(err.message); for k = 1:numel(err.stack), printf('  at %s line %d\\n', err.stack(k).name, err.stack(k).line); end; exit(1); end")
  set_tests_properties(${name} PROPERTIES LABELS octave
                       ENVIRONMENT "CCS_DATA_DIR=${PROJECT_SOURCE_DIR}/../shared/data;OMP_NUM_THREADS=2")
endfunction()
