"""Drawings (.jww) read, built, written and exported with Dravik's library.

Names follow Python's manner; each attribute's docstring names the model field it shows
(TJwwData and its records, see docs/python.md).
"""
from __future__ import annotations

import os
from typing import Iterator, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, bytes, os.PathLike]
_Pt = Tuple[float, float]
_LayerT = Tuple[int, int]

class DrawingError(Exception):
    """A drawing could not be read: the library's reason and the byte offset where it stopped."""
    path: str
    reason: str
    offset: int

class PictureError(ValueError):
    """A picture was refused before anything was written: over its budget of work, or a PNG of
    more pixels than a picture may have (max_dpi is then the largest resolution that fits)."""
    path: str
    over_budget: bool
    budget: int
    too_many_pixels: bool
    pixels: float
    max_dpi: float

class _Attr:
    @property
    def layer(self) -> Tuple[int, int]: """(layer group, layer): nGLayer, nLayer"""
    @property
    def color(self) -> int: """Pen colour: nPenColor"""
    @property
    def line_type(self) -> int: """Line type: nPenStyle"""
    @property
    def pen_width(self) -> int: """Pen width: nPenWidth"""
    @property
    def tag(self) -> int: """lGroup"""
    @property
    def flags(self) -> int: """sFlg"""

class Line(_Attr):
    """A line (TEntJwwLine)."""
    x1: float  # start_x
    y1: float  # start_y
    x2: float  # end_x
    y2: float  # end_y

class Arc(_Attr):
    """An arc, circle or ellipse (TEntJwwEnko); angles in radians."""
    cx: float  # start_x
    cy: float  # start_y
    radius: float  # dHankei
    start: float  # radKaishiKaku
    sweep: float  # radEnkoKaku
    tilt: float  # radKatamukiKaku
    flatness: float  # dHenpeiRitsu
    full: bool  # bZenEnFlg

class Point(_Attr):
    """A point (TEntJwwTen)."""
    x: float  # start_x
    y: float  # start_y
    temporary: bool  # bKariten
    code: int  # nCode
    angle: float  # radKaitenKaku
    scale: float  # dBairitsu

class Text(_Attr):
    """A text (TEntJwwMoji)."""
    x1: float  # start_x
    y1: float  # start_y
    x2: float  # end_x
    y2: float  # end_y
    text_type: int  # nMojiShu
    width: float  # dSizeX
    height: float  # dSizeY
    spacing: float  # dKankaku
    angle: float  # degKakudo (degrees)
    font: str  # strFontName
    text: str  # str

class Dimension(_Attr):
    """A dimension (TEntJwwSunpo)."""
    line: Line  # Sen
    text: Text  # Moji
    sxf_mode: int  # bSxfMode
    aux_lines: Tuple[Line, Line]  # Ho1, Ho2
    end_points: Tuple[Point, Point]  # Te1, Te2
    ref_points: Tuple[Point, Point]  # Kt1, Kt2

class Solid(_Attr):
    """A solid (TEntJwwSolid)."""
    corners: Tuple[_Pt, _Pt, _Pt, _Pt]  # start, end, DPoint2, DPoint3
    fill_rgb: int  # Color

class Insertion(_Attr):
    """A block insertion (TEntJwwBlock)."""
    x: float  # DPKijunTen_x
    y: float  # DPKijunTen_y
    scale_x: float  # dBairitsuX
    scale_y: float  # dBairitsuY
    angle: float  # radKaitenKaku (radians)
    number: int  # nNumber
    name: str  # the placed definition's name

Entity = Union[Line, Arc, Point, Text, Dimension, Solid, Insertion]

class _Seq:
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator: ...
    @property
    def layers(self) -> npt.NDArray[np.int32]: """N x 2: (layer group, layer) of each entity"""
    @property
    def colors(self) -> npt.NDArray[np.int32]: """N: pen colour of each entity"""
    @property
    def xy(self) -> npt.NDArray[np.float64]: """The kind's numbers, one row per entity"""

class Lines(_Seq):
    """xy: N x 4 (x1, y1, x2, y2)."""
    def __getitem__(self, i: int) -> Line: ...
class Arcs(_Seq):
    """xy: N x 7 (cx, cy, radius, start, sweep, tilt, flatness)."""
    def __getitem__(self, i: int) -> Arc: ...
class Points(_Seq):
    """xy: N x 2 (x, y)."""
    def __getitem__(self, i: int) -> Point: ...
class Texts(_Seq):
    """xy: N x 4 (x1, y1, x2, y2)."""
    def __getitem__(self, i: int) -> Text: ...
class Dimensions(_Seq):
    """xy: N x 4 (the dimension line)."""
    def __getitem__(self, i: int) -> Dimension: ...
class Solids(_Seq):
    """xy: N x 8 (four corners)."""
    def __getitem__(self, i: int) -> Solid: ...
class Insertions(_Seq):
    """xy: N x 5 (x, y, scale_x, scale_y, angle)."""
    def __getitem__(self, i: int) -> Insertion: ...

class _Kinds:
    lines: Lines
    arcs: Arcs
    points: Points
    texts: Texts
    dimensions: Dimensions
    solids: Solids
    insertions: Insertions
    entities: list[Entity]  # in drawing order (EntNo)

class Definition(_Kinds):
    """A block definition (TEntJwwBlockDef)."""
    name: str  # strName without the drawing's decoration
    stored_name: str  # strName
    number: int  # nNumber

class Definitions:
    def __len__(self) -> int: ...
    def __getitem__(self, key: Union[str, int]) -> Definition: ...
    def __contains__(self, name: str) -> bool: ...
    def __iter__(self) -> Iterator[str]: ...
    def keys(self) -> list[str]: ...

class Layer:
    name: str  # aStrLayName
    state: int  # aanLay
    protect: int  # aanLayProtect

class LayerGroup:
    name: str  # aStrGLayName
    scale: float  # adScale
    state: int  # anGLay
    write_layer: int  # anWriteLay
    protect: int  # anGLayProtect
    layers: list[Layer]

class _Adders:
    def add_line(self, x1: float, y1: float, x2: float, y2: float, *, layer: _LayerT = (0, 0), color: int = 1,
                 line_type: int = 1, pen_width: int = 0, flags: int = 0, tag: int = 0) -> None: ...
    def add_arc(self, cx: float, cy: float, radius: float, start: float = 0.0, sweep: float = 360.0, *,
                flatness: float = 1.0, tilt: float = 0.0, full: Optional[bool] = None, layer: _LayerT = (0, 0),
                color: int = 1, line_type: int = 1, pen_width: int = 0, flags: int = 0, tag: int = 0) -> None: ...
    def add_point(self, x: float, y: float, *, code: int = 0, angle: float = 0.0, scale: float = 1.0,
                  layer: _LayerT = (0, 0), color: int = 1, pen_width: int = 0, flags: int = 0, tag: int = 0) -> None: ...
    def add_text(self, text: str, x: float, y: float, *, size: _Pt = (3.0, 3.0), spacing: float = 0.0,
                 angle: float = 0.0, base_point: int = 1, text_type: int = 0, font: str = "", vertical: bool = False,
                 end: Optional[_Pt] = None, layer: _LayerT = (0, 0), color: int = 1, pen_width: int = 0,
                 flags: int = 0, tag: int = 0) -> None: ...
    def add_dimension(self, x1: float, y1: float, x2: float, y2: float, text: str, *, at: Optional[_Pt] = None,
                      text_ends: Optional[Tuple[_Pt, _Pt]] = None, size: _Pt = (3.0, 3.0), spacing: float = 0.0,
                      angle: float = 0.0, base_point: int = 1, text_type: int = 0, font: str = "",
                      text_color: int = 1, refs: Optional[Tuple[_Pt, _Pt]] = None,
                      aux_lines: Optional[Tuple[Tuple[_Pt, _Pt], Tuple[_Pt, _Pt]]] = None, gap: float = 0.0,
                      overshoot: float = 0.0, end_marks: int = 0, end_code: int = 0, ref_code: int = 0,
                      layer: _LayerT = (0, 0), color: int = 1, line_type: int = 1, pen_width: int = 0,
                      flags: int = 0, tag: int = 0) -> None: ...
    def add_solid(self, corners: Sequence[_Pt], *, fill_rgb: int = 0, layer: _LayerT = (0, 0), color: int = 1,
                  line_type: int = 1, pen_width: int = 0, flags: int = 0, tag: int = 0) -> None: ...
    def add_disc(self, cx: float, cy: float, radius: float, *, flatness: float = 1.0, tilt: float = 0.0,
                 start: Optional[float] = None, sweep: Optional[float] = None, inner: Optional[float] = None,
                 form: int = 0, fill_rgb: int = 0, layer: _LayerT = (0, 0), color: int = 1, pen_width: int = 0,
                 flags: int = 0, tag: int = 0) -> None: ...
    def insert(self, name: str, x: float, y: float, *, angle: float = 0.0, scale: _Pt = (1.0, 1.0),
               layer: _LayerT = (0, 0), color: int = 1, line_type: int = 1, pen_width: int = 0, flags: int = 0,
               tag: int = 0) -> None: ...

class Block(_Adders):
    """A block definition being built (AddBlk*)."""
    name: str

class Drawing(_Kinds, _Adders):
    """A drawing (TJwwData)."""
    @staticmethod
    def new() -> Drawing: ...
    version: int  # jwVer
    memo: str  # strMemo
    paper: str  # label of nZumen
    paper_code: int  # nZumen
    paper_size: _Pt  # millimetres
    scales: list[float]  # adScale of the 16 layer groups
    layer_groups: list[LayerGroup]
    definitions: Definitions
    def define_block(self, name: str, *, flag: int = 4, layer: _LayerT = (0, 0)) -> Block: ...
    def write(self, path: _Path, *, version: int = 600) -> None: ...
    def export(self, path: _Path, *, dpi: float = 150.0, format: Optional[str] = None, colour: str = "drawing",
               aux: bool = False, fit: str = "paper", budget: Optional[int] = None) -> None:
        """PDF, SVG, PNG or DXF of the drawing's scene; PictureError when a picture is refused,
        OSError (with the system's reason) when the file cannot be written."""

def read(path: _Path, budget: Optional[int] = None) -> Drawing: ...
def list_file(paths: Sequence[_Path], *, slots: int = 10, out: _Path = "List.txt") -> None: ...

class Change:
    """One entity or block definition that is not the same in both drawings."""
    status: str  # 'removed', 'added', 'changed' or 'moved'
    kind: str  # 'line', 'arc', 'point', 'text', 'dimension', 'solid', 'block', 'block definition'
    where: str  # '' for the drawing's own entities, else the block definition's name
    what: str  # the entity as it was (removed, changed) or is (added), in words
    changes: list[str]  # for a change: 'colour 1 \u2192 3', one per attribute; for a move: 'moved by (5, 0)'
    before_index: int  # index in the old drawing's list of its kind, -1 when added
    after_index: int  # index in the new drawing's list of its kind, -1 when removed
    before: Optional[Union[Entity, Definition]]
    after: Optional[Union[Entity, Definition]]

class Diff:
    """What changed from one drawing to another (compare::Result); true when they differ."""
    same: bool
    header: list[str]  # 'layer group 2 scale 1/100 \u2192 1/50', in header order
    entities: list[Change]
    images: list[str]
    unchanged: int
    removed: int
    added: int
    changed: int
    moved: int
    def __bool__(self) -> bool: ...

def diff(a: Union[Drawing, _Path], b: Union[Drawing, _Path], *, tolerance: float = 1e-6,
         out: Optional[_Path] = None, dpi: float = 150.0, fit: str = "paper",
         budget: Optional[int] = None) -> Diff:
    """Compares a (old) with b (new); with out= also writes the change picture (.pdf .svg .png)."""
