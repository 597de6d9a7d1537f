#!/usr/bin/env python3
"""Generates the Korvane contract from its one description, Korvane.idl.

usage: contractgen.py <file.idl> <output directory>

Reads the subset of MIDL syntax that Korvane.idl uses and writes:
  Korvane_TLB.h            the identifiers and interfaces for C++
  Korvane_TLB.cpp          the definitions of the identifiers
  TypeLibDescription.inc   the library as data for mktypelib (TypeLibModel.h)

The subset: one library block with uuid/version/lcid/helpstring and
importlib; interfaces with uuid/version/helpstring/dual/oleautomation and a
base interface; dispinterfaces with an empty properties section; coclasses
with default/source entries; methods with id/propget/propput/helpstring and
the _stdcall convention; parameters with in/out/retval/optional/defaultvalue;
the types long, BSTR, VARIANT, VARIANT_BOOL, HRESULT and void, each behind
any number of pointers (a by-value void parameter is an untyped
pointer-sized argument). Anything else is reported with its line number.
"""

import dataclasses
import pathlib
import re
import sys


class IdlError(Exception):
    def __init__(self, line, message):
        super().__init__(message)
        self.line = line


# --- tokens -----------------------------------------------------------------

@dataclasses.dataclass
class Token:
    kind: str  # 'guid', 'number', 'string', 'ident', 'punct', 'end'
    text: str
    line: int


TOKEN_PATTERNS = [
    ('space', r'[ \t\r]+'),
    ('newline', r'\n'),
    ('comment', r'//[^\n]*|/\*(?:.|\n)*?\*/'),
    ('guid', r'[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\b'),
    ('number', r'-?(?:0[xX][0-9A-Fa-f]+|\d+(?:\.\d+)?)\b'),
    ('string', r'"(?:[^"\\\n]|\\["\\])*"'),
    ('ident', r'[A-Za-z_][A-Za-z0-9_]*'),
    ('punct', r'[\[\](){};:,*]'),
]
TOKEN_RE = re.compile('|'.join(f'(?P<{name}>{pattern})' for name, pattern in TOKEN_PATTERNS))


def tokenize(source):
    tokens = []
    line = 1
    position = 0
    while position < len(source):
        match = TOKEN_RE.match(source, position)
        if not match:
            raise IdlError(line, f'unexpected character {source[position]!r}')
        kind, text = match.lastgroup, match.group()
        if kind == 'string':
            body = text[1:-1]
            if not all(' ' <= c <= '~' for c in body):
                raise IdlError(line, 'strings must be printable ASCII')
            text = re.sub(r'\\(.)', r'\1', body)
        if kind not in ('space', 'newline', 'comment'):
            tokens.append(Token(kind, text, line))
        line += match.group().count('\n')
        position = match.end()
    tokens.append(Token('end', '', line))
    return tokens


# --- the description ----------------------------------------------------------

# IDL base type -> (VARTYPE, C++ type)
BASE_TYPES = {
    'long': ('VT_I4', 'long'),
    'BSTR': ('VT_BSTR', 'BSTR'),
    'VARIANT': ('VT_VARIANT', 'VARIANT'),
    'VARIANT_BOOL': ('VT_BOOL', 'VARIANT_BOOL'),
    'HRESULT': ('VT_HRESULT', 'HRESULT'),
    'void': ('VT_VOID', 'void'),
}


@dataclasses.dataclass
class Type:
    base: str
    pointers: int

    def idl(self):
        return self.base + '*' * self.pointers


@dataclasses.dataclass
class Param:
    name: str  # '' when the parameter has no name
    type: Type
    flags: list  # IDL attribute names in the order of PARAM_FLAGS
    default: object  # None, int or str
    line: int


@dataclasses.dataclass
class Method:
    name: str
    id: int
    invoke_kind: str  # 'INVOKE_FUNC', 'INVOKE_PROPERTYGET', 'INVOKE_PROPERTYPUT'
    result: Type
    help: str
    params: list
    line: int

    def cpp_name(self):
        prefix = {'INVOKE_FUNC': '', 'INVOKE_PROPERTYGET': 'get_', 'INVOKE_PROPERTYPUT': 'put_'}
        return prefix[self.invoke_kind] + self.name


@dataclasses.dataclass
class Implemented:
    keyword: str  # 'interface' or 'dispinterface'
    name: str
    flags: list  # IDL attribute names
    line: int


@dataclasses.dataclass
class TypeInfo:
    keyword: str  # 'interface', 'dispinterface' or 'coclass'
    name: str
    guid: str
    version: tuple
    help: str
    attributes: list  # flag attributes given in the IDL (dual, oleautomation)
    parent: str
    methods: list
    implemented: list
    line: int


@dataclasses.dataclass
class Library:
    name: str
    guid: str
    version: tuple
    lcid: int
    help: str
    imports: list
    types: list


# --- parser -------------------------------------------------------------------

# Value kinds of attributes.
FLAG, GUID, VERSION, NUMBER, STRING, LITERAL = 'flag', 'guid', 'version', 'number', 'string', 'literal'

LIBRARY_ATTRIBUTES = {'uuid': GUID, 'version': VERSION, 'lcid': NUMBER, 'helpstring': STRING}
INTERFACE_ATTRIBUTES = {'uuid': GUID, 'version': VERSION, 'helpstring': STRING,
                        'dual': FLAG, 'oleautomation': FLAG}
DISPINTERFACE_ATTRIBUTES = {'uuid': GUID, 'version': VERSION, 'helpstring': STRING}
COCLASS_ATTRIBUTES = {'uuid': GUID, 'version': VERSION, 'helpstring': STRING}
IMPLEMENTED_ATTRIBUTES = {'default': FLAG, 'source': FLAG}
METHOD_ATTRIBUTES = {'id': NUMBER, 'propget': FLAG, 'propput': FLAG, 'helpstring': STRING}
PARAM_ATTRIBUTES = {'in': FLAG, 'out': FLAG, 'retval': FLAG, 'optional': FLAG,
                    'defaultvalue': LITERAL}

CALLING_CONVENTIONS = ('_stdcall', '__stdcall')


class Parser:
    def __init__(self, tokens):
        self.tokens = tokens
        self.index = 0

    # token helpers

    @property
    def token(self):
        return self.tokens[self.index]

    def peek(self, offset=1):
        return self.tokens[min(self.index + offset, len(self.tokens) - 1)]

    def fail(self, message, token=None):
        raise IdlError((token or self.token).line, message)

    def describe(self, token):
        return 'the end of the file' if token.kind == 'end' else repr(token.text)

    def at(self, text):
        return self.token.kind in ('ident', 'punct') and self.token.text == text

    def expect(self, text):
        if not self.at(text):
            self.fail(f'expected {text!r} but found {self.describe(self.token)}')
        self.index += 1

    def accept(self, text):
        if self.at(text):
            self.index += 1
            return True
        return False

    def take(self, kind, what):
        token = self.token
        if token.kind != kind:
            self.fail(f'expected {what} but found {self.describe(token)}')
        self.index += 1
        return token

    def identifier(self, what='a name'):
        return self.take('ident', what).text

    # attributes

    def attribute_list(self):
        """Parses an optional [ ... ] list into (name, value token or None, line) triples."""
        found = []
        if not self.accept('['):
            return found
        while True:
            token = self.token
            name = self.identifier('an attribute')
            value = None
            if self.accept('('):
                value = self.token
                if value.kind not in ('guid', 'number', 'string'):
                    self.fail(f'expected a value for {name}, found {self.describe(value)}')
                self.index += 1
                self.expect(')')
            found.append((name, value, token.line))
            if not self.accept(','):
                break
        self.expect(']')
        return found

    def attributes(self, allowed, where):
        return checked_attributes(self.attribute_list(), allowed, where)

    # types

    def type(self):
        token = self.token
        base = self.identifier('a type')
        if base not in BASE_TYPES:
            self.fail(f'type {base!r} is not supported', token)
        pointers = 0
        while self.accept('*'):
            pointers += 1
        if base == 'void' and pointers:
            self.fail('pointers to void are not supported', token)
        return Type(base, pointers)

    # library

    def library(self):
        attributes = self.attributes(LIBRARY_ATTRIBUTES, 'a library')
        line = self.token.line
        self.expect('library')
        name = self.identifier('the library name')
        require(attributes, 'uuid', line, f'library {name}')
        library = Library(name, attributes['uuid'], attributes.get('version', (0, 0)),
                          attributes.get('lcid', 0), attributes.get('helpstring'), [], [])
        self.expect('{')
        while not self.accept('}'):
            if self.accept('importlib'):
                self.expect('(')
                library.imports.append(self.take('string', 'a type library file name').text)
                self.expect(')')
                self.expect(';')
            else:
                library.types.append(self.type_definition())
        self.expect(';')
        if self.token.kind != 'end':
            self.fail(f'expected the end of the file after the library, found {self.describe(self.token)}')
        return library

    def type_definition(self):
        if not self.at('['):
            self.fail(f'expected importlib or an attributed type, found {self.describe(self.token)}')
        attribute_list = self.attribute_list()
        keyword = self.token
        parsers = {'interface': (INTERFACE_ATTRIBUTES, self.interface),
                   'dispinterface': (DISPINTERFACE_ATTRIBUTES, self.dispinterface),
                   'coclass': (COCLASS_ATTRIBUTES, self.coclass)}
        if keyword.kind != 'ident' or keyword.text not in parsers:
            self.fail(f'expected interface, dispinterface or coclass, found {self.describe(keyword)}')
        allowed, parse = parsers[keyword.text]
        attributes = checked_attributes(attribute_list, allowed, f'a {keyword.text}')
        self.index += 1
        name = self.identifier(f'the {keyword.text} name')
        require(attributes, 'uuid', keyword.line, f'{keyword.text} {name}')
        info = TypeInfo(keyword.text, name, attributes['uuid'], attributes.get('version', (0, 0)),
                        attributes.get('helpstring'),
                        [a for a in ('dual', 'oleautomation') if attributes.get(a)],
                        None, [], [], keyword.line)
        parse(info)
        self.expect(';')
        return info

    def interface(self, info):
        self.expect(':')
        info.parent = self.identifier('the base interface')
        self.expect('{')
        while not self.accept('}'):
            info.methods.append(self.method())

    def dispinterface(self, info):
        info.parent = 'IDispatch'
        self.expect('{')
        self.expect('properties')
        self.expect(':')
        if not self.at('methods'):
            self.fail('dispinterface properties are not supported')
        self.expect('methods')
        self.expect(':')
        while not self.accept('}'):
            info.methods.append(self.method())

    def coclass(self, info):
        self.expect('{')
        while not self.accept('}'):
            attributes = self.attributes(IMPLEMENTED_ATTRIBUTES, 'a coclass entry')
            line = self.token.line
            if self.at('interface') or self.at('dispinterface'):
                keyword = self.identifier()
            else:
                self.fail(f'expected interface or dispinterface, found {self.describe(self.token)}')
            name = self.identifier('an interface name')
            self.expect(';')
            info.implemented.append(Implemented(keyword, name, [a for a in IMPLEMENTED_ATTRIBUTES
                                                                if attributes.get(a)], line))

    def method(self):
        if not self.at('['):
            self.fail(f'expected a method with attributes, found {self.describe(self.token)}')
        attributes = self.attributes(METHOD_ATTRIBUTES, 'a method')
        line = self.token.line
        result = self.type()
        if self.token.kind == 'ident' and self.token.text in CALLING_CONVENTIONS:
            self.index += 1
        name = self.identifier('the method name')
        require(attributes, 'id', line, f'method {name}')
        if attributes.get('propget') and attributes.get('propput'):
            self.fail(f'method {name} cannot be both propget and propput', self.tokens[self.index - 1])
        invoke_kind = ('INVOKE_PROPERTYGET' if attributes.get('propget') else
                       'INVOKE_PROPERTYPUT' if attributes.get('propput') else 'INVOKE_FUNC')
        self.expect('(')
        params = []
        if self.at('void') and self.peek().text == ')':
            self.index += 1
        elif not self.at(')'):
            params.append(self.param())
            while self.accept(','):
                params.append(self.param())
        self.expect(')')
        self.expect(';')
        return Method(name, attributes['id'], invoke_kind, result, attributes.get('helpstring'), params, line)

    def param(self):
        line = self.token.line
        if not self.at('['):
            self.fail('every parameter needs attributes ([in], [out], ...)')
        attributes = self.attributes(PARAM_ATTRIBUTES, 'a parameter')
        type_ = self.type()
        name = self.identifier() if self.token.kind == 'ident' else ''
        flags = [a for a in PARAM_ATTRIBUTES if attributes.get(a) is not None]
        return Param(name, type_, flags, attributes.get('defaultvalue'), line)


def checked_attributes(attribute_list, allowed, where):
    """Checks a parsed attribute list against what `where` allows: {name: value}."""
    found = {}
    for name, token, line in attribute_list:
        kind = allowed.get(name)
        if kind is None:
            raise IdlError(line, f'attribute {name!r} is not supported on {where}')
        if name in found:
            raise IdlError(line, f'attribute {name!r} given twice')
        if (kind == FLAG) != (token is None):
            raise IdlError(line, f'attribute {name!r} ' + ('takes no value' if kind == FLAG else 'needs a value'))
        found[name] = True if kind == FLAG else attribute_value(name, kind, token)
    return found


def attribute_value(name, kind, token):
    text = token.text
    expected = {GUID: ('guid',), VERSION: ('number',), NUMBER: ('number',), STRING: ('string',),
                LITERAL: ('string', 'number')}[kind]
    if token.kind not in expected:
        raise IdlError(token.line, f'{name} does not take {text!r}')
    if kind == GUID:
        return text.upper()
    if kind == VERSION:
        if not re.fullmatch(r'\d+\.\d+', text):
            raise IdlError(token.line, f'version must be major.minor, not {text!r}')
        return tuple(int(part) for part in text.split('.'))
    if token.kind == 'number':
        if '.' in text:
            raise IdlError(token.line, f'{name} takes an integer, not {text!r}')
        return int(text, 0)
    return text


def require(attributes, name, line, where):
    if name not in attributes:
        raise IdlError(line, f'{where} needs the attribute {name!r}')


# --- checks -------------------------------------------------------------------

def check(library):
    types = {}
    for info in library.types:
        if info.name in types:
            raise IdlError(info.line, f'type {info.name} is defined twice')
        types[info.name] = info
    for info in library.types:
        if info.keyword == 'interface':
            parent = types.get(info.parent)
            if parent is None and not library.imports:
                raise IdlError(info.line, f'base interface {info.parent} is unknown')
            if parent is not None and parent.keyword != 'interface':
                raise IdlError(info.line, f'{info.parent} is not an interface')
        for entry in info.implemented:
            target = types.get(entry.name)
            if target is None or target.keyword != entry.keyword:
                raise IdlError(entry.line, f'{entry.keyword} {entry.name} is not defined in this library')
        check_methods(info)
    check_dispid_names(library)


def check_methods(info):
    seen = {}
    for method in info.methods:
        key = (method.name, method.invoke_kind)
        if key in seen:
            raise IdlError(method.line, f'{info.name}.{method.name} is declared twice')
        seen[key] = method
        for other in seen.values():
            same_name, same_id = other.name == method.name, other.id == method.id
            if same_name != same_id:
                raise IdlError(method.line, f'{info.name}.{method.name}: only the get and put of one '
                                            f'property may share a DISPID, and they must share it')
        for position, param in enumerate(method.params):
            check_param(method, param, position == len(method.params) - 1)


def check_param(method, param, last):
    where = f'parameter {param.name or "(unnamed)"} of {method.name}'
    if 'in' not in param.flags and 'out' not in param.flags:
        raise IdlError(param.line, f'{where} needs [in] or [out]')
    if 'retval' in param.flags and not ('out' in param.flags and param.type.pointers and last):
        raise IdlError(param.line, f'{where}: retval must be the last parameter, out and a pointer')
    if not param.name and not (last and method.invoke_kind == 'INVOKE_PROPERTYPUT'):
        raise IdlError(param.line, f'{where}: only the value of a property put may be unnamed')
    if param.type.base == 'void' and 'out' in param.flags:
        raise IdlError(param.line, f'{where}: a void parameter can only be passed in')
    if param.default is not None:
        default_type(param)  # raises when the literal does not fit the type


def default_type(param):
    """The VARTYPE in which a parameter's default value is stored."""
    where = f'default value of {param.name}'
    base, value = param.type.base, param.default
    if base == 'BSTR' and isinstance(value, str):
        return 'VT_BSTR'
    if base == 'VARIANT_BOOL' and value in (0, -1):
        return 'VT_BOOL'
    if base == 'long' and isinstance(value, int) and -2**31 <= value < 2**31:
        return 'VT_I4'
    raise IdlError(param.line, f'{where}: {value!r} does not fit {param.type.idl()}')


def check_dispid_names(library):
    """Each member name becomes one DISPID_<name> constant, so it needs one DISPID."""
    ids = {}
    for info in library.types:
        for method in info.methods:
            previous = ids.setdefault(method.name, method.id)
            if previous != method.id:
                raise IdlError(method.line, f'{method.name} has DISPID {method.id} here and '
                                            f'{previous} elsewhere; DISPID_{method.name} would be ambiguous')


# --- what the library stores ---------------------------------------------------

def is_dispatchable(library, info):
    if info.keyword == 'dispinterface':
        return True
    if info.keyword != 'interface':
        return False
    if info.parent == 'IDispatch':
        return True
    parent = next((t for t in library.types if t.name == info.parent), None)
    return parent is not None and is_dispatchable(library, parent)


def type_flags(library, info):
    if info.keyword == 'coclass':
        return ['TYPEFLAG_FCANCREATE']
    flags = [f'TYPEFLAG_F{attribute.upper()}' for attribute in info.attributes]
    if is_dispatchable(library, info):
        flags.append('TYPEFLAG_FDISPATCHABLE')
    return flags


TYPE_KINDS = {'interface': 'TKIND_INTERFACE', 'dispinterface': 'TKIND_DISPATCH', 'coclass': 'TKIND_COCLASS'}
ID_PREFIXES = {'interface': 'IID', 'dispinterface': 'DIID', 'coclass': 'CLSID'}
PARAM_FLAGS = {'in': 'PARAMFLAG_FIN', 'out': 'PARAMFLAG_FOUT', 'retval': 'PARAMFLAG_FRETVAL',
               'optional': 'PARAMFLAG_FOPT', 'defaultvalue': 'PARAMFLAG_FHASDEFAULT'}
IMPL_FLAGS = {'default': 'IMPLTYPEFLAG_FDEFAULT', 'source': 'IMPLTYPEFLAG_FSOURCE'}


# --- output helpers ---------------------------------------------------------------

GENERATED_NOTICE = '// Generated by contractgen.py from {idl}: edit the IDL, not this file.\n'


def guid_parts(guid):
    data1, data2, data3, data4a, data4b = guid.split('-')
    data4 = data4a + data4b
    return [f'0x{data1.lower()}', f'0x{data2.lower()}', f'0x{data3.lower()}'] + \
        [f'0x{data4[i:i + 2].lower()}' for i in range(0, 16, 2)]


def guid_initializer(guid):
    parts = guid_parts(guid)
    return '{' + ', '.join(parts[:3]) + ', {' + ', '.join(parts[3:]) + '}}'


def wide(text):
    if text is None:
        return 'nullptr'
    return 'L"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def flags_expression(flags):
    return ' | '.join(flags) if flags else '0'


# --- Korvane_TLB.h and .cpp ---------------------------------------------------------

def cpp_param_type(param):
    if param.type.base == 'void':
        return 'void*'  # the untyped argument slot: an address in both bitnesses
    return BASE_TYPES[param.type.base][1] + '*' * param.type.pointers


def cpp_result_type(method):
    return BASE_TYPES[method.result.base][1] + '*' * method.result.pointers


def cpp_method(method):
    lines = []
    if method.help:
        lines.append(f'  // {method.help}')
    head = f'  virtual {cpp_result_type(method)} STDMETHODCALLTYPE {method.cpp_name()}('
    params = [f'      /* [{", ".join(param_attribute_text(p))}] */ {cpp_param_type(p)}'
              + (f' {p.name}' if p.name else '') for p in method.params]
    if params:
        lines.append(head)
        lines.append(',\n'.join(params) + ') = 0;')
    else:
        lines.append(head + ') = 0;')
    return '\n'.join(lines)


def param_attribute_text(param):
    return [f'defaultvalue({default_text(param.default)})' if flag == 'defaultvalue' else flag
            for flag in param.flags]


def default_text(value):
    return f'"{value}"' if isinstance(value, str) else str(value)


def uuid_decl(name, guid):
    return f'__CRT_UUID_DECL({name}, {", ".join(guid_parts(guid))})'


def header(library, idl_name):
    out = [GENERATED_NOTICE.format(idl=idl_name),
           f'// The {library.name} contract for C++: the identifiers of the type library and\n'
           '// its interfaces with their members in vtable slot order.\n',
           '#pragma once\n#include <windows.h>\n#include <ole2.h>\n']
    out.append(f'// {library.help}' if library.help else f'// {library.name}')
    out.append(f'extern "C" const GUID LIBID_{library.name};')
    out.append(f'constexpr WORD {library.name}_MajorVersion = {library.version[0]}, '
               f'{library.name}_MinorVersion = {library.version[1]};\n')
    for info in library.types:
        kind = 'CLSID' if info.keyword == 'coclass' else 'IID'
        out.append(f'extern "C" const {kind} {ID_PREFIXES[info.keyword]}_{info.name};')
    out.append('')
    for info in library.types:
        if info.keyword == 'coclass':
            continue
        out.append(f'// {info.help}' if info.help else f'// {info.name}')
        if info.keyword == 'dispinterface':
            out.append('// A dispatch-only interface: its members are reached through Invoke.')
            out.append(f'struct {info.name} : public IDispatch {{}};')
        else:
            out.append(f'struct {info.name} : public {info.parent} {{')
            out.extend(cpp_method(method) for method in info.methods)
            out.append('};')
        out.append(uuid_decl(info.name, info.guid) + '\n')
    out.append('// Dispatch identifiers of the members, for late-bound calls and event sinks.')
    declared = set()
    for info in library.types:
        for method in info.methods:
            if method.name not in declared:
                declared.add(method.name)
                out.append(f'constexpr DISPID DISPID_{method.name} = {method.id};  // {info.name}')
    return '\n'.join(out) + '\n'


def source(library, idl_name):
    out = [GENERATED_NOTICE.format(idl=idl_name), f'#include "{library.name}_TLB.h"\n']
    out.append(f'extern "C" const GUID LIBID_{library.name} = {guid_initializer(library.guid)};')
    for info in library.types:
        kind = 'CLSID' if info.keyword == 'coclass' else 'IID'
        out.append(f'extern "C" const {kind} {ID_PREFIXES[info.keyword]}_{info.name} = '
                   f'{guid_initializer(info.guid)};')
    return '\n'.join(out) + '\n'


# --- TypeLibDescription.inc -----------------------------------------------------------

def type_ref(type_):
    return f'{{{BASE_TYPES[type_.base][0]}, {type_.pointers}}}'


def default_value(param):
    if param.default is None:
        return '{}'
    vartype = default_type(param)
    if vartype == 'VT_BSTR':
        return f'{{VT_BSTR, 0, {wide(param.default)}}}'
    return f'{{{vartype}, {param.default}, nullptr}}'


def table(library, idl_name):
    out = [GENERATED_NOTICE.format(idl=idl_name),
           f'// The {library.name} type library as data for mktypelib (TypeLibModel.h).\n',
           '#include "TypeLibModel.h"\n',
           'namespace korvane::contract {',
           'namespace tables {\n']
    for info in library.types:
        for index, method in enumerate(info.methods):
            if not method.params:
                continue
            out.append(f'constexpr ParamDescription {info.name}_{index}_{method.name}[] = {{')
            for param in method.params:
                flags = flags_expression([PARAM_FLAGS[f] for f in param.flags])
                out.append(f'  {{{wide(param.name or None)}, {type_ref(param.type)}, {flags}, '
                           f'{default_value(param)}}},')
            out.append('};')
        if info.methods:
            out.append(f'constexpr FunctionDescription {info.name}_functions[] = {{')
            for index, method in enumerate(info.methods):
                params = f'{info.name}_{index}_{method.name}' if method.params else '{}'
                out.append(f'  {{{wide(method.name)}, {method.id}, {method.invoke_kind}, '
                           f'{type_ref(method.result)}, {wide(method.help)}, {params}}},')
            out.append('};')
        if info.implemented:
            out.append(f'constexpr ImplementedType {info.name}_implemented[] = {{')
            for entry in info.implemented:
                flags = flags_expression([IMPL_FLAGS[f] for f in entry.flags])
                out.append(f'  {{{wide(entry.name)}, {flags}}},')
            out.append('};')
        if info.methods or info.implemented:
            out.append('')
    if library.imports:
        out.append('constexpr const wchar_t* importedLibraries[] = {'
                   + ', '.join(wide(name) for name in library.imports) + '};')
    out.append('constexpr TypeDescription types[] = {')
    for info in library.types:
        functions = f'{info.name}_functions' if info.methods else '{}'
        implemented = f'{info.name}_implemented' if info.implemented else '{}'
        out.append(f'  {{{wide(info.name)}, {TYPE_KINDS[info.keyword]}, {guid_initializer(info.guid)},\n'
                   f'   {info.version[0]}, {info.version[1]}, '
                   f'{flags_expression(type_flags(library, info))},\n'
                   f'   {wide(info.help)}, {wide(info.parent)}, {functions}, {implemented}}},')
    out.append('};\n')
    out.append('}  // namespace tables\n')
    out.append(f'inline constexpr LibraryDescription describedLibrary = {{\n'
               f'  {wide(library.name)}, {guid_initializer(library.guid)},\n'
               f'  {library.version[0]}, {library.version[1]}, {library.lcid}, {wide(library.help)},\n'
               f'  {"tables::importedLibraries" if library.imports else "{}"}, tables::types}};\n')
    out.append('}  // namespace korvane::contract')
    return '\n'.join(out) + '\n'


# --- main ---------------------------------------------------------------------------------

def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    idl_path, out_dir = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    try:
        library = Parser(tokenize(idl_path.read_text(encoding='ascii'))).library()
        check(library)
    except IdlError as error:
        print(f'{idl_path}:{error.line}: error: {error}', file=sys.stderr)
        return 1
    out_dir.mkdir(parents=True, exist_ok=True)
    outputs = {
        f'{library.name}_TLB.h': header(library, idl_path.name),
        f'{library.name}_TLB.cpp': source(library, idl_path.name),
        'TypeLibDescription.inc': table(library, idl_path.name),
    }
    for name, text in outputs.items():
        (out_dir / name).write_text(text, encoding='ascii', newline='\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
