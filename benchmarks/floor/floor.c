/* The benchmark floor: the least a native five-float value type can do
 * through the interpreter's C API. A vectorcall constructor narrows five
 * doubles to C floats with no checks at all (floats only, surplus
 * positional arguments ignored, keywords matched by pointer against
 * interned names, unknown ones ignored), and getters widen them back.
 *
 * Beside the constructor, the floor of the other calling forms the module
 * uses: `make(...)`, a module function with the fast calling convention
 * and keywords; `Floor.preset()`, a static method taking no arguments;
 * `Floor.one(v)`, a static fast-call method with keywords.
 *
 * Two types share the code:
 *   Floor           a heap type with the default flags only, like the
 *                   module's own classes (mutable, so the interpreter's
 *                   CALL specialisation for builtin classes skips it);
 *   FloorImmutable  the same with Py_TPFLAGS_IMMUTABLETYPE, as a static
 *                   type would be, so calls to it get that specialisation.
 *
 * Benchmark-only; never part of the product.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

typedef struct {
    PyObject_HEAD
    float q, dq, kp, kd, tau;
} FloorObject;

static PyObject *field_names[5];

static PyObject *
floor_alloc(PyTypeObject *type, const float v[5])
{
    FloorObject *self = PyObject_Malloc(sizeof(FloorObject));
    if (self == NULL) {
        return PyErr_NoMemory();
    }
    PyObject_Init((PyObject *)self, type);
    self->q = v[0];
    self->dq = v[1];
    self->kp = v[2];
    self->kd = v[3];
    self->tau = v[4];
    return (PyObject *)self;
}

static PyObject *
floor_vectorcall(PyObject *type, PyObject *const *args, size_t nargsf, PyObject *kwnames)
{
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    float v[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    Py_ssize_t n = nargs < 5 ? nargs : 5;
    for (Py_ssize_t i = 0; i < n; i++) {
        v[i] = (float)PyFloat_AS_DOUBLE(args[i]);
    }
    if (kwnames != NULL) {
        Py_ssize_t nk = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nk; k++) {
            PyObject *key = PyTuple_GET_ITEM(kwnames, k);
            for (int j = 0; j < 5; j++) {
                if (field_names[j] == key) {
                    v[j] = (float)PyFloat_AS_DOUBLE(args[nargs + k]);
                    break;
                }
            }
        }
    }
    return floor_alloc((PyTypeObject *)type, v);
}

/* A new slot of its own (positional only) so that the interpreter does not
 * treat the type as a Python class. */
static PyObject *
floor_new(PyTypeObject *type, PyObject *args, PyObject *kwargs)
{
    (void)kwargs;
    return floor_vectorcall((PyObject *)type, &PyTuple_GET_ITEM(args, 0),
                            (size_t)PyTuple_GET_SIZE(args), NULL);
}

static PyTypeObject *floor_type;

static PyObject *
floor_make(PyObject *module, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    (void)module;
    return floor_vectorcall((PyObject *)floor_type, args, (size_t)nargs, kwnames);
}

static PyObject *
floor_preset(PyObject *unused, PyObject *noargs)
{
    (void)unused;
    (void)noargs;
    static const float values[5] = {12.5f, 10.0f, 500.0f, 5.0f, 28.0f};
    return floor_alloc(floor_type, values);
}

static PyObject *
floor_one(PyObject *unused, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    (void)unused;
    (void)kwnames;
    float v[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    if (nargs > 0) {
        v[0] = (float)PyFloat_AS_DOUBLE(args[0]);
    }
    return floor_alloc(floor_type, v);
}

static PyMethodDef floor_methods[] = {
    {"preset", floor_preset, METH_NOARGS | METH_STATIC, NULL},
    {"one", (PyCFunction)(void (*)(void))floor_one, METH_FASTCALL | METH_KEYWORDS | METH_STATIC, NULL},
    {NULL, NULL, 0, NULL},
};

static PyMethodDef module_functions[] = {
    {"make", (PyCFunction)(void (*)(void))floor_make, METH_FASTCALL | METH_KEYWORDS, NULL},
    {NULL, NULL, 0, NULL},
};

static void
floor_dealloc(PyObject *self)
{
    PyTypeObject *type = Py_TYPE(self);
    PyObject_Free(self);
    Py_DECREF(type);
}

#define FLOOR_GETTER(field)                                          \
    static PyObject *floor_get_##field(PyObject *self, void *closure) \
    {                                                                \
        (void)closure;                                               \
        return PyFloat_FromDouble(((FloorObject *)self)->field);     \
    }
FLOOR_GETTER(q)
FLOOR_GETTER(dq)
FLOOR_GETTER(kp)
FLOOR_GETTER(kd)
FLOOR_GETTER(tau)

static PyGetSetDef floor_getset[] = {
    {"q", floor_get_q, NULL, NULL, NULL},
    {"dq", floor_get_dq, NULL, NULL, NULL},
    {"kp", floor_get_kp, NULL, NULL, NULL},
    {"kd", floor_get_kd, NULL, NULL, NULL},
    {"tau", floor_get_tau, NULL, NULL, NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyType_Slot floor_slots[] = {
    {Py_tp_new, floor_new},
    {Py_tp_dealloc, floor_dealloc},
    {Py_tp_getset, floor_getset},
    {Py_tp_methods, floor_methods},
    {0, NULL},
};

static PyType_Spec floor_spec = {
    "velquist_floor.Floor", sizeof(FloorObject), 0, Py_TPFLAGS_DEFAULT, floor_slots,
};

static PyType_Spec floor_immutable_spec = {
    "velquist_floor.FloorImmutable", sizeof(FloorObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, floor_slots,
};

static PyObject *
add_type(PyObject *module, PyType_Spec *spec, const char *name)
{
    PyObject *type = PyType_FromSpec(spec);
    if (type == NULL) {
        return NULL;
    }
    ((PyTypeObject *)type)->tp_vectorcall = floor_vectorcall;
    int rc = PyModule_AddObjectRef(module, name, type);
    Py_DECREF(type);  /* the module keeps it */
    return rc < 0 ? NULL : type;
}

static struct PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, "velquist_floor", NULL, -1, module_functions, NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC
PyInit_velquist_floor(void)
{
    static const char *names[5] = {"q", "dq", "kp", "kd", "tau"};
    for (int i = 0; i < 5; i++) {
        field_names[i] = PyUnicode_InternFromString(names[i]);
        if (field_names[i] == NULL) {
            return NULL;
        }
    }
    PyObject *module = PyModule_Create(&floor_module);
    if (module == NULL) {
        return NULL;
    }
    floor_type = (PyTypeObject *)add_type(module, &floor_spec, "Floor");
    if (floor_type == NULL || add_type(module, &floor_immutable_spec, "FloorImmutable") == NULL) {
        Py_DECREF(module);
        return NULL;
    }
    return module;
}
