# Compiler policy shared by every target through the vvp_compiler_policy interface target.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(VVP_WERROR "Treat warnings as errors" OFF)
set(VVP_SANITIZE "" CACHE STRING "Sanitizers: empty, address (with undefined) or thread")

add_library(vvp_compiler_policy INTERFACE)
target_compile_options(vvp_compiler_policy INTERFACE
  -Wall -Wextra -Wold-style-cast -Wnon-virtual-dtor
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
  $<$<BOOL:${VVP_WERROR}>:-Werror>)
target_compile_definitions(vvp_compiler_policy INTERFACE
  $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

# Builds without sanitizers are what the package ships: hardened as Debian builds its packages,
# except for _FORTIFY_SOURCE, whose warn_unused_result ignores the (void) casts used here.
if(NOT VVP_SANITIZE AND NOT VVP_BUILD_FUZZ)
  target_compile_options(vvp_compiler_policy INTERFACE -fstack-protector-strong)
  target_link_options(vvp_compiler_policy INTERFACE LINKER:-z,relro,-z,now)
endif()

if(VVP_SANITIZE STREQUAL "address")
  target_compile_options(vvp_compiler_policy INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vvp_compiler_policy INTERFACE -fsanitize=address,undefined)
elseif(VVP_SANITIZE STREQUAL "thread")
  target_compile_options(vvp_compiler_policy INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vvp_compiler_policy INTERFACE -fsanitize=thread)
endif()

# Fuzz builds instrument every library so the fuzzer gets coverage from the engine code.
if(VVP_BUILD_FUZZ)
  target_compile_options(vvp_compiler_policy INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(vvp_compiler_policy INTERFACE -fsanitize=address,undefined)
endif()

# vvp_add_engine_library(name SOURCES ... DEPENDS ...): one static library per subsystem folder.
function(vvp_add_engine_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC vvp_compiler_policy ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  vvp_require_qt_free(${name})
endfunction()

# Engine libraries and engine tests never link Qt: every target registered here is checked once
# all targets exist, through its whole link closure.
function(vvp_require_qt_free target)
  set_property(GLOBAL APPEND PROPERTY VVP_QT_FREE_TARGETS ${target})
endfunction()

function(_vvp_link_closure target out)
  set(seen ${${out}})
  if(target IN_LIST seen)
    return()
  endif()
  list(APPEND seen ${target})
  if(TARGET ${target})
    get_target_property(_imported ${target} IMPORTED)
    set(_deps)
    if(NOT _imported)
      get_target_property(_direct ${target} LINK_LIBRARIES)
      if(_direct)
        list(APPEND _deps ${_direct})
      endif()
    endif()
    get_target_property(_iface ${target} INTERFACE_LINK_LIBRARIES)
    if(_iface)
      list(APPEND _deps ${_iface})
    endif()
    foreach(_dep ${_deps})
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _dep "${_dep}")
      if(_dep MATCHES "^\\$<")
        continue()
      endif()
      _vvp_link_closure(${_dep} seen)
    endforeach()
  endif()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(vvp_check_qt_free)
  get_property(_targets GLOBAL PROPERTY VVP_QT_FREE_TARGETS)
  foreach(_t ${_targets})
    set(_closure)
    _vvp_link_closure(${_t} _closure)
    foreach(_dep ${_closure})
      if(_dep MATCHES "^Qt[0-9]*::")
        message(FATAL_ERROR "${_t} links ${_dep}: engine libraries and engine tests must not link Qt")
      endif()
    endforeach()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vvp_check_qt_free)
