# Precompiled headers. Nearly every file includes the same Qt and standard headers, and parsing
# them was most of each file's compile time; each library parses them once instead. The test
# programs are one file each, so they share one precompiled set (two: with and without widgets)
# instead of making their own. -DTALLYPORT_PCH=OFF compiles every file on its own.
option(TALLYPORT_PCH "Precompile the Qt and standard headers most files include" ON)

set(TALLYPORT_PCH_ENGINE
    <algorithm> <cmath> <functional> <memory> <optional> <vector>
    <QByteArray> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash> <QJsonArray>
    <QJsonDocument> <QJsonObject> <QList> <QObject> <QRegularExpression> <QSet> <QSqlDatabase>
    <QSqlError> <QSqlQuery> <QString> <QStringList> <QTcpSocket> <QTimer> <QVariant>)
set(TALLYPORT_PCH_WIDGETS
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFormLayout> <QGroupBox>
    <QHBoxLayout> <QHeaderView> <QLabel> <QLineEdit> <QListWidget> <QPushButton> <QTabWidget>
    <QTableView> <QTreeWidget> <QVBoxLayout> <QWidget>)
set(TALLYPORT_PCH_TEST <QSignalSpy> <QTest>)

# tallyport_precompile(target ENGINE|WIDGETS|TEST|WIDGET_TEST): the target makes its own set.
function(tallyport_precompile target kind)
    if(NOT TALLYPORT_PCH)
        return()
    endif()
    set(headers ${TALLYPORT_PCH_ENGINE})
    if(kind MATCHES "WIDGET")
        list(APPEND headers ${TALLYPORT_PCH_WIDGETS})
    endif()
    if(kind MATCHES "TEST")
        list(APPEND headers ${TALLYPORT_PCH_TEST})
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
    tallyport_moc_file_without_precompiled(${target})
endfunction()

# tallyport_reuse_precompiled(target host): the target compiles with the host's set. Both must be
# compiled with the same definitions that the headers look at (QT_WIDGETS_LIB among them). Where
# they differ, g++ ignores the set and parses the headers itself, but clang uses it as it is (it
# stops only at a definition with another value), so the right set must be chosen.
function(tallyport_reuse_precompiled target host)
    if(TALLYPORT_PCH)
        target_precompile_headers(${target} REUSE_FROM ${host})
        tallyport_moc_file_without_precompiled(${target})
    endif()
endfunction()

# tallyport_moc_file_without_precompiled(target): AUTOMOC's one file of the target's moc outputs
# compiles without the precompiled headers. Every source includes its own moc output, which leaves
# that file empty, and loading the headers would be its whole cost: about a second of g++'s time
# for each of some 130 targets in every tree, spent instantiating what the headers' inline code
# uses. A moc output left in it still compiles, reading its headers itself.
function(tallyport_moc_file_without_precompiled target)
    get_target_property(automoc ${target} AUTOMOC)
    if(NOT automoc)
        return()
    endif()
    get_target_property(autogen_dir ${target} AUTOGEN_BUILD_DIR)
    if(NOT autogen_dir)
        set(autogen_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen)
    endif()
    set_source_files_properties(${autogen_dir}/mocs_compilation.cpp PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()
