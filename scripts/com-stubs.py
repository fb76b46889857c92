#!/usr/bin/env python3
# Writes stub classes for COM interfaces from the MinGW-w64 headers'
# C++ declarations: every member except IUnknown's answers E_NOTIMPL.
# Usage: scripts/com-stubs.py IOleClientSite IWebBrowser2 ... (the class
# bodies of testing/fakes/com/windows/HostingStubs.h).
import re, sys
inc = '/usr/share/mingw-w64/include/'
def iface(header, name):
    text = open(inc + header).read()
    m = re.search(r'\n%s : public (\w+)\n\{(.*?)\n\};' % name, text, re.S)
    base, body = m.group(1), m.group(2)
    methods = re.findall(r'virtual (\w+) STDMETHODCALLTYPE (\w+)\((.*?)\) = 0;', body, re.S)
    return base, [(r, n, ' '.join(a.split())) for r, n, a in methods]
where = {'IDispatch': 'oaidl.h', 'IParseDisplayName': 'oleidl.h', 'IOleContainer': 'oleidl.h',
         'IOleClientSite': 'oleidl.h', 'IInternetSecurityManager': 'urlmon.h',
         'IWebBrowser': 'exdisp.h', 'IWebBrowserApp': 'exdisp.h', 'IWebBrowser2': 'exdisp.h',
         'IHTMLDocument': 'mshtml.h', 'IHTMLDocument2': 'mshtml.h'}
def chain(name):
    out = []
    while name != 'IUnknown':
        base, ms = iface(where[name], name)
        out = ms + out
        name = base
    return out
def unnamed(a):
    if not a:
        return ''
    # Parameter names go (unused), and so do default arguments.
    params = (re.sub(r'\s*=.*$', '', p.strip()) for p in a.split(','))
    return ', '.join(re.sub(r'\s*\b\w+$', '', p) for p in params)
for name in sys.argv[1:]:
    print('class C%sStub : public %s {\n public:' % (name[1:], name))
    for r, n, a in chain(name):
        print('  %s STDMETHODCALLTYPE %s(%s) override { return E_NOTIMPL; }' % (r, n, unnamed(a)))
    print('};\n')
