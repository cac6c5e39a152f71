# zuk_fixed_qt_paths(TARGET): the program reads Qt's folders from a qt.conf compiled into it (the
# resource :/qt/etc/qt.conf), never from a file beside its executable. The package installs the
# program in a folder that every member of the shop's group may add files to; a qt.conf or a
# plugin folder put there by one member must not load code into another member's program.
# (main() also fixes the plugin folders once the application object is made, as Qt adds the
# executable's folder to them while making it; see ui::App::usePluginsOfQtOnly.)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QtPaths.conf.in ${CMAKE_BINARY_DIR}/qtpaths/qt.conf @ONLY)
function(zuk_fixed_qt_paths target)
  qt_add_resources(${target} qtpaths PREFIX /qt/etc BASE ${CMAKE_BINARY_DIR}/qtpaths
                   FILES ${CMAKE_BINARY_DIR}/qtpaths/qt.conf)
endfunction()
