# The pictures drawn by generator/, compiled into the window library as :/pictures/<name>.png.
qt_add_resources(window "pictures"
    PREFIX "/"
    BASE ${CMAKE_CURRENT_LIST_DIR}/..
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/token.png
        ${CMAKE_CURRENT_LIST_DIR}/token@2x.png
        ${CMAKE_CURRENT_LIST_DIR}/badtoken.png
        ${CMAKE_CURRENT_LIST_DIR}/badtoken@2x.png
        ${CMAKE_CURRENT_LIST_DIR}/play.png
        ${CMAKE_CURRENT_LIST_DIR}/play@2x.png
        ${CMAKE_CURRENT_LIST_DIR}/return.png
        ${CMAKE_CURRENT_LIST_DIR}/return@2x.png
        ${CMAKE_CURRENT_LIST_DIR}/barrel.png
        ${CMAKE_CURRENT_LIST_DIR}/barrel@2x.png
        ${CMAKE_CURRENT_LIST_DIR}/icon.png
        ${CMAKE_CURRENT_LIST_DIR}/icon_32.png
        ${CMAKE_CURRENT_LIST_DIR}/icon_48.png
        ${CMAKE_CURRENT_LIST_DIR}/icon_64.png
        ${CMAKE_CURRENT_LIST_DIR}/icon_128.png)
