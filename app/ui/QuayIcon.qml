import QtQuick

// A symbol from the icon table, drawn in one colour.
Image {
    property string name
    property color color: "white"
    property real size: 16

    width: size
    height: size
    sourceSize: Qt.size(size * 2, size * 2)
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: name === "" ? "" : "image://icon/" + name + "/" + color.toString().substring(1)
}
