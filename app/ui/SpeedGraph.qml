import QtQuick
import QtQuick.Shapes
import Quaymark

// Recent speed of one destination as a thin line, newest on the right.
Item {
    id: graph

    property var samples: []

    implicitWidth: 75
    implicitHeight: 26
    Accessible.role: Accessible.Chart
    Accessible.name: "Recent transfer speed"

    Shape {
        anchors.fill: parent
        ShapePath {
            strokeColor: Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.6)
            strokeWidth: 1.2
            fillColor: "transparent"
            PathPolyline {
                objectName: "speedLine"
                path: Format.graphPoints(graph.samples, graph.width, graph.height)
            }
        }
    }
}
