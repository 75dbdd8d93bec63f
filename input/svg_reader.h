// Reading a colour-coded SVG crease pattern (".svg") into a line list: the
// straight segments of its line, rect, polyline, polygon and path elements,
// typed by their stroke colour as web folding simulators draw them (red
// mountain, blue valley, black or grey boundary, any other colour flat).
//
// SVG's y axis points down, like the line list's, and the picture is seen
// from the front: the reader keeps the coordinates as they are, the XML
// reader negates y into the CP plane, and the front side faces +z, from
// where a positive fold angle folds towards the viewer. A valley (blue)
// therefore becomes the fold type with the positive target (2) and a
// mountain (red) the one with the negative target (3).
#pragma once

#include <cstdio>

struct CreasePattern;
struct ORI_manifold;

// The line type of an SVG paint (the value of stroke): -1 when it paints
// nothing ("none", "transparent", empty); otherwise, for a colour given as
// "#rgb", "#rrggbb" (with or without alpha), "rgb(...)" or one of the common
// colour names, 2 for a red hue (mountain), 3 for a blue hue (valley), 1 for
// black and greys up to light grey (boundary) and 0 for any other colour,
// white included; 0 for paints it does not know (gradients, currentColor).
int svgStrokeLineType(const char* paint);

// Reads the SVG text fp (from where it stands to its end; not closed) and
// appends its segments to cp, which is expected empty: line, rect, polyline,
// polygon and path (M, L, H, V, Z, absolute and relative, any number of
// subpaths), with the transforms of the element and of its groups applied.
// The stroke comes from the stroke attribute, a class rule of a style
// element or the style property (in rising precedence), inherited from the
// groups. Elements without a stroke, hidden ones (display none, visibility
// hidden) and the contents of defs, symbol, clipPath, mask, marker, pattern,
// text and of other vocabularies (sodipodi, metadata) draw no lines. Units are
// dropped (the lines are fitted to the paper afterwards) and viewBox is not
// applied. Path data with a syntax error is read up to the error, as SVG
// viewers draw it. Then fits the lines to cp->paper_size as the DXF reader
// does. Returns 0; -1 with oriReadError set, and cp emptied, when a drawn
// element is curved (a curve command in a path, a circle, an ellipse, a rect
// with rounded corners; the message names the element and its line), the
// markup is cut short or nests deeper than 1024 elements, a transform does
// not parse, there are more than kImportMaxLines segments, the file is over
// kImportMaxBytes, or no stroked segment with an extent is found.
// Cost: linear in the size of the file.
int LineFromSvg(CreasePattern* cp, FILE* fp);

// Builds om (fresh from oriManifoldNew) from the SVG text fp (opened by the
// caller and closed by it) through the line-list chain: cut at crossings
// and built in memory (oriManifoldConstructFromCreasePattern); om_old as for
// oriManifoldConstructFromOpx. Returns 0, or the failing step's non-zero
// result with oriReadError set.
int oriManifoldConstructFromSvg(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
