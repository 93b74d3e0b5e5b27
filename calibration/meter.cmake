# The reference multimeter over VISA and the line fits of the calibration run, in
# a library of their own so that they build and test apart from the dialogs.
add_library(lcmeter STATIC
    ${CMAKE_CURRENT_LIST_DIR}/cagilent34401a.h ${CMAKE_CURRENT_LIST_DIR}/cagilent34401a.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cagilent34401avisainterface.h
    ${CMAKE_CURRENT_LIST_DIR}/cagilent34401avisainterface.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lineregression.h ${CMAKE_CURRENT_LIST_DIR}/lineregression.cpp
)
target_include_directories(lcmeter PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(lcmeter PUBLIC lclogging Qt5::Core lcvisaheaders)
target_link_libraries(lccalibration PUBLIC lcmeter)
