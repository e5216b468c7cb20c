#include "tools/models/Model.h"

#include "tools/models/Shapes.h"

namespace Tools {

int Model::AddFrame(const std::string& name, int parent, glm::vec3 position, glm::vec3 right, glm::vec3 up,
                    glm::vec3 at) {
    ModelFrame frame;
    frame.name = name;
    frame.parent = parent;
    frame.right = right;
    frame.up = up;
    frame.at = at;
    frame.position = position;
    frames.push_back(frame);
    return int(frames.size()) - 1;
}

int Model::AddPart(const std::string& name, int parent, glm::vec3 position, ModelGeometry geometry,
                   glm::vec3 right, glm::vec3 up, glm::vec3 at) {
    const int frame = AddFrame(name, parent, position, right, up, at);
    geometries.push_back(std::move(geometry));
    atomics.push_back({frame, int(geometries.size()) - 1, 0x05});
    return frame;
}

int Model::AddPlacedFrame(const std::string& name, int parent, const glm::mat4& rootMatrix) {
    const glm::mat4 local = parent < 0 ? rootMatrix : glm::inverse(RootMatrix(parent)) * rootMatrix;
    return AddFrame(name, parent, glm::vec3(local[3]), glm::vec3(local[0]), glm::vec3(local[1]),
                    glm::vec3(local[2]));
}

int Model::AddPlacedPart(const std::string& name, int parent, const glm::mat4& rootMatrix,
                         ModelGeometry geometry) {
    const int frame = AddPlacedFrame(name, parent, rootMatrix);
    TransformGeometry(geometry, glm::inverse(rootMatrix));
    geometries.push_back(std::move(geometry));
    atomics.push_back({frame, int(geometries.size()) - 1, 0x05});
    return frame;
}

int Model::FindFrame(const std::string& name) const {
    for (size_t i = 0; i < frames.size(); i++) {
        if (frames[i].name == name)
            return int(i);
    }
    return -1;
}

glm::mat4 Model::RootMatrix(int frame) const {
    glm::mat4 m(1.0f);
    for (int f = frame; f >= 0; f = frames[size_t(f)].parent) {
        const ModelFrame& r = frames[size_t(f)];
        const glm::mat4 local(glm::vec4(r.right, 0), glm::vec4(r.up, 0), glm::vec4(r.at, 0),
                              glm::vec4(r.position, 1));
        m = local * m;
    }
    return m;
}

glm::mat4 FrameMatrix(glm::vec3 position, glm::vec3 right, glm::vec3 up) {
    right = glm::normalize(right);
    up = glm::normalize(up - right * glm::dot(up, right));
    return glm::mat4(glm::vec4(right, 0), glm::vec4(up, 0), glm::vec4(glm::cross(right, up), 0),
                     glm::vec4(position, 1));
}

} // namespace Tools
