# One place for the flags every target of the project shares.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_library(qingtong_common INTERFACE)
target_compile_options(qingtong_common INTERFACE
  -Wall -Wextra -Wnon-virtual-dtor -Wold-style-cast
  $<$<BOOL:${QINGTONG_WERROR}>:-Werror>)
target_include_directories(qingtong_common INTERFACE ${PROJECT_SOURCE_DIR}/src)

if(QINGTONG_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(QINGTONG_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# A static library made of every .cpp file in one folder of src/ (no sub-folders).
# A folder without sources yet gives an interface library, so the tree always configures.
function(qingtong_folder_library name folder)
  file(GLOB _sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_link_libraries(${name} PUBLIC qingtong_common ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE qingtong_common ${ARGN})
  endif()
endfunction()
