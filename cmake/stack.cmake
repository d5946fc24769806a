# device/, app/, tools/ and the dialog tables of resources/ are built twice:
# Setwell has the user authentication parts, Swapwell does not. One library per
# layer, each linking only the layers below it: app/ never needs tools/.
# linked in whole: the shared library would load ICU at every start for nothing
set(Boost_USE_STATIC_LIBS ON)
find_package(Boost REQUIRED COMPONENTS regex)
foreach(layer device app tools)
  file(GLOB_RECURSE ${layer}_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${layer}/*.cpp)
endforeach()
file(GLOB template_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/templates/*.cpp)

foreach(flavor setwell swapwell)
  add_library(device_${flavor} STATIC ${device_sources})
  target_link_libraries(device_${flavor} PUBLIC platform_ui platform_win KestlePortServer
                        Boost::regex Threads::Threads)
  add_library(templates_${flavor} STATIC ${template_sources})
  target_link_libraries(templates_${flavor} PUBLIC platform_ui)
  add_library(app_${flavor} STATIC ${app_sources})
  target_link_libraries(app_${flavor} PUBLIC device_${flavor} templates_${flavor})
  add_library(tools_${flavor} STATIC ${tools_sources})
  target_link_libraries(tools_${flavor} PUBLIC app_${flavor})
  add_library(stack_${flavor} INTERFACE)
  target_link_libraries(stack_${flavor} INTERFACE tools_${flavor})

  # every object of app/ linked with the layers below and no tools: a name
  # app/ takes from tools/ fails this link
  add_executable(app_link_check_${flavor} ${CMAKE_SOURCE_DIR}/cmake/app_link_check.cpp)
  target_link_libraries(app_link_check_${flavor} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,app_${flavor}>"
                        resources_${flavor})
endforeach()
foreach(layer device templates)
  target_compile_definitions(${layer}_setwell PUBLIC SETWELL_USER_AUTH=1)
endforeach()

add_executable(Setwell ${CMAKE_SOURCE_DIR}/entry/main.cpp)
target_link_libraries(Setwell PRIVATE stack_setwell resources_setwell)
add_executable(Swapwell ${CMAKE_SOURCE_DIR}/entry/main.cpp)
target_link_libraries(Swapwell PRIVATE stack_swapwell resources_swapwell)
