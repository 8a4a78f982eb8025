# One static library per folder and layer: kestrun_<folder> for a folder's
# platform-neutral core, kestrun_<folder>_<platform> for its platform layer.
# A core never links its own platform layer; the executables link both (list
# the core first), so the platform calls of a core stay a link-time seam.

file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/layers.txt _kestrun_layer_lines REGEX "^[a-z]")
foreach(_line IN LISTS _kestrun_layer_lines)
  string(REPLACE " " ";" _pair "${_line}")
  list(GET _pair 0 _folder)
  list(GET _pair 1 _rank)
  set(KESTRUN_LAYER_${_folder} ${_rank})
endforeach()

# Settings every target of ours compiles with.
add_library(kestrun_settings INTERFACE)
target_include_directories(kestrun_settings INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_options(kestrun_settings INTERFACE ${KESTRUN_WARNINGS})
if(WIN32)
  target_compile_definitions(kestrun_settings INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

# The Windows builds optimise for size: most code runs at start-up or at
# the pace of the user (windows, pages, install, update, the cache keeper).
# The files every cache request runs through say so with
# kestrun_speed_optimised and keep -O2.
set(KESTRUN_SIZE_OPTIMISED_FOLDERS app gamewindow skin widgets browserhost framework cacheserver download base)

# kestrun_speed_optimised(files...): sources of the current folder on the
# path of every cache request.
function(kestrun_speed_optimised)
  set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS -O2)
endfunction()

# kestrun_library(NAME FOLDER [sources...]): a static library of a folder.
function(kestrun_library name folder)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC kestrun_settings)
  if(WIN32 AND folder IN_LIST KESTRUN_SIZE_OPTIMISED_FOLDERS)
    target_compile_options(${name} PRIVATE -Os)
  endif()
  set_target_properties(${name} PROPERTIES KESTRUN_FOLDER ${folder})
  set_property(GLOBAL APPEND PROPERTY KESTRUN_LIBRARIES ${name})
endfunction()

# kestrun_program(NAME [WIN32] [sources...]): an executable of ours with the
# static runtime of the Windows builds.
function(kestrun_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kestrun_settings)
  if(WIN32)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Fails the configuration when a library links one of a higher or the same
# layer (its own folder's libraries aside).
function(kestrun_check_layers)
  get_property(libraries GLOBAL PROPERTY KESTRUN_LIBRARIES)
  foreach(lib IN LISTS libraries)
    get_target_property(folder ${lib} KESTRUN_FOLDER)
    set(rank ${KESTRUN_LAYER_${folder}})
    get_target_property(deps ${lib} LINK_LIBRARIES)
    foreach(dep IN LISTS deps)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
      if(NOT TARGET ${dep})
        continue()
      endif()
      get_target_property(depFolder ${dep} KESTRUN_FOLDER)
      if(NOT depFolder OR depFolder STREQUAL folder)
        continue()
      endif()
      if(NOT KESTRUN_LAYER_${depFolder} LESS rank)
        message(FATAL_ERROR "${lib} (${folder}, layer ${rank}) links ${dep} (${depFolder}, layer ${KESTRUN_LAYER_${depFolder}})")
      endif()
    endforeach()
  endforeach()
endfunction()

# kestrun_link_folders(TARGET folder...): links the cores and the platform
# layers of the folders into an executable, in one group that the linker
# rescans, since a core calls into its platform layer without linking it.
# Runs when the whole tree is configured, so every library exists by then.
function(kestrun_link_folders target)
  # Arguments of a deferred call are read when it runs: write the values in.
  list(JOIN ARGN " " folders)
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL kestrun_link_folders_now ${target} ${folders})")
endfunction()

function(kestrun_link_folders_now target)
  if(WIN32)
    set(platform win32)
  else()
    set(platform posix)
  endif()
  set(libs "")
  foreach(folder IN LISTS ARGN)
    foreach(lib kestrun_${folder} kestrun_${folder}_${platform})
      if(TARGET ${lib})
        list(APPEND libs ${lib})
      endif()
    endforeach()
  endforeach()
  # A group must hold every library of ours that its members link.
  set(pending ${libs})
  while(pending)
    list(POP_FRONT pending lib)
    get_target_property(deps ${lib} LINK_LIBRARIES)
    foreach(dep IN LISTS deps)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
      if(TARGET ${dep} AND NOT dep IN_LIST libs)
        get_target_property(depFolder ${dep} KESTRUN_FOLDER)
        if(depFolder)
          list(APPEND libs ${dep})
          list(APPEND pending ${dep})
        endif()
      endif()
    endforeach()
  endwhile()
  list(JOIN libs "," joined)
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${joined}>")
endfunction()
