#!/usr/bin/python3
"""Renders a flowgraph to PNG as GNU Radio Companion draws it, without its window. Needs a
display (xvfb-run) and GTK's introspection data (gir1.2-gtk-3.0):

  GRC_BLOCKS_PATH=gnuradio/grc xvfb-run -a /usr/bin/python3 gnuradio/examples/render_flowgraph.py \\
    gnuradio/examples/mfsk_message_to_file.grc gnuradio/examples/mfsk_message_to_file.png
"""

import sys

import cairo
import gi

gi.require_version("Gtk", "3.0")
gi.require_version("PangoCairo", "1.0")
from gi.repository import Gtk  # noqa: E402
from gnuradio import gr  # noqa: E402
# In the order the Companion imports them: its modules import one another in a circle.
from gnuradio.grc.gui.Platform import Platform  # noqa: E402
from gnuradio.grc.gui import Utils  # noqa: E402
from gnuradio.grc.gui.canvas import flowgraph as canvas_flowgraph  # noqa: E402
from gnuradio.grc.gui import Actions  # noqa: E402

# The canvas looks for the Companion's application and window; there are none, and the context
# menu it would attach to the window is never shown.
application = Gtk.Application()
application.set_default()
canvas_flowgraph._ContextMenu = lambda main_window: None

platform = Platform(version=gr.version(),
                    version_parts=(gr.major_version(), gr.api_version(), gr.minor_version()),
                    prefs=gr.prefs(), install_prefix=gr.prefix())
platform.build_library()
flow_graph = platform.make_flow_graph(sys.argv[1])
flow_graph.rewrite()
flow_graph.validate()

# The Companion's default view, whatever this user's saved one is.
Actions.TOGGLE_HIDE_VARIABLES.set_active(False)
Actions.TOGGLE_SHOW_FLOWGRAPH_COMPLEXITY.set_active(False)
Actions.TOGGLE_SHOW_BLOCK_COMMENTS.set_active(True)
# The extents come from the shapes, laid out once on a scratch surface.
flow_graph.update_elements_to_draw()
flow_graph.create_labels(cairo.Context(cairo.ImageSurface(cairo.FORMAT_ARGB32, 1, 1)))
flow_graph.create_shapes()
Utils.make_screenshot(flow_graph, sys.argv[2])
